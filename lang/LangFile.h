// Reading one entry of a language file.
//
// A language file is 8-bit text read line by line (LF or CR LF; a lone CR is
// dropped). An entry is a header line that starts with "[" and names its key,
// followed by its value: one line, or for a multi-line value every next line
// up to the first blank one.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace orfa {

// True when `line` is the header line of `key`: its first character is "[",
// and after removing the characters 0 to 32 from both ends and lower-casing
// A to Z, the first occurrence of key + "]" (lower-cased) starts right after
// the "[".
bool IsHeaderOf(const std::string& line, const std::string& key);
// True for an empty line or one made only of the characters 0 to 32.
bool IsBlankLine(const std::string& line);
// True for a file name with "!" anywhere: such a file in the language folder
// is passed over, never read.
bool IsIgnoredLanguageFileName(const std::string& name);

enum class EntryStatus {
  Found,    // the header was found; `value` holds the value
  Missing,  // no header of the key (or, where asked, an empty first value line)
  Failed,   // the file could not be opened or read; `value` holds what was read
};

struct EntryResult {
  EntryStatus status = EntryStatus::Missing;
  std::string value;
};

enum class EntryShape {
  SingleLine,               // the line after the header
  Lines,                    // that line and the next ones up to a blank line
  LinesEmptyFirstMissing,   // as Lines, but an empty first line counts as missing
};

// Opens `path` for reading (others may read but not write), scans it from the
// top for the first header of `key` and reads the value. The file is closed
// before returning.
EntryResult ReadLanguageEntry(FileSystem& files, const std::string& path, const std::string& key,
                              EntryShape shape);

}  // namespace orfa
