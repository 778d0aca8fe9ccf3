#include "core/Text.h"

namespace orfa {

std::string LowerAscii(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

void AppendBackslash(std::string& text) {
  if (!text.empty() && text.back() != '\\') text.push_back('\\');
}

}  // namespace orfa
