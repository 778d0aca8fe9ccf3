// The program-wide language state: the usable language files and which one
// is current.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orfa {

struct MessageCatalog {
  std::vector<std::string> LanguageFiles;  // names only, in the order the search gave them
  int RussianFileIndex = -1;
  int EnglishFileIndex = -1;
  int LocaleFileIndex = -1;
  int CurrentLanguageIndex = -1;
  std::string CurrentFile;  // full path of the current file, empty before a selection
  // Code page of the fallback file's texts, known once that file is validated.
  uint32_t FallbackCodePage = 0;  // the system's ANSI code page until then
};

}  // namespace orfa
