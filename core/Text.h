// Small text helpers that every module uses.
#pragma once

#include <string>

namespace orfa {

// Lower-cases the ASCII letters A to Z only.
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string LowerAscii(std::string text);
// Appends "\" to a non-empty text that does not end with one.
void AppendBackslash(std::string& text);

}  // namespace orfa
