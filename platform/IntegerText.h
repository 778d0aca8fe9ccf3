// Integer texts: leading spaces, one optional sign, then digits, and nothing
// after them; the value must fit a signed 32-bit number.
#pragma once

#include <cstdint>
#include <string>

namespace orfa {

enum class IntegerDigits {
  Decimal,           // decimal digits only
  DecimalOrHex,      // also hexadecimal after "$", "x", "X", "0x" or "0X"
};

// True with *value set when the whole text is such a number.
bool ParseInt32(const std::string& text, IntegerDigits digits, int32_t* value);

}  // namespace orfa
