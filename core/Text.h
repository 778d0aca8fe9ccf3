// Small text helpers that every module uses.
#pragma once

#include <string>

#include "platform/AsciiCase.h"  // LowerAscii, which the Windows layer shares

namespace orfa {

// Appends "\" to a non-empty text that does not end with one.
void AppendBackslash(std::string& text);

}  // namespace orfa
