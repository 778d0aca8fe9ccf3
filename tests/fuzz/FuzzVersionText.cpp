// Integer and version texts: the integer parser in both forms, the language
// files' decimals, the version texts' numbers and the comparison of dotted
// version texts (the input split at its first newline into new and old).
#include <cstddef>
#include <cstdint>
#include <string>

#include "install/Versions.h"
#include "lang/Lang.h"
#include "platform/IntegerText.h"

using namespace orfa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int32_t value = 0;
  ParseInt32(text, IntegerDigits::Decimal, &value);
  ParseInt32(text, IntegerDigits::DecimalOrHex, &value);
  ParseDecimal(text, &value);
  ParseIntegerText(text, &value);
  const size_t newline = text.find('\n');
  const std::string newText = text.substr(0, newline);
  const std::string oldText = newline == std::string::npos ? text : text.substr(newline + 1);
  const bool older = IsOlderVersionText(newText, oldText);
  // A text is never older than itself.
  if (IsOlderVersionText(newText, newText)) __builtin_trap();
  (void)older;
  return 0;
}
