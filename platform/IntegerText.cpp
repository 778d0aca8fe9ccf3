#include "platform/IntegerText.h"

namespace orfa {
namespace {

int DigitValue(char c, unsigned base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseInt32(const std::string& text, IntegerDigits digits, int32_t* value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  unsigned base = 10;
  if (digits == IntegerDigits::DecimalOrHex) {
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
      base = 16;
      ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      base = 16;
      i += 2;
    }
  }
  if (i == text.size()) return false;
  // The magnitude may reach 2^31 for a negative number, 2^31 - 1 otherwise,
  // in hexadecimal as in decimal.
  const uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) return false;
    magnitude = magnitude * base + static_cast<unsigned>(digit);
    if (magnitude > limit) return false;
  }
  const int64_t signedValue =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (value) *value = static_cast<int32_t>(signedValue);
  return true;
}

}  // namespace orfa
