// ASCII case folding: the letters A to Z become a to z, every other byte
// stays as it is. Names that Windows and the product match without regard
// to case (DLL and file names, resource names, language-file headers,
// command words, registry words) are compared this way, never by the locale,
// which would also fold the letters of the ANSI code page's upper half.
// Shared by every layer, the Windows one included.
#pragma once

#include <string>

namespace orfa {

constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string LowerAscii(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

}  // namespace orfa
