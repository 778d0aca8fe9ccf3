#include "core/Text.h"

namespace orfa {

void AppendBackslash(std::string& text) {
  if (!text.empty() && text.back() != '\\') text.push_back('\\');
}

}  // namespace orfa
