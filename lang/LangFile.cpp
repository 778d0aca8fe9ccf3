#include "lang/LangFile.h"

#include "core/SetupContext.h"
#include "core/Text.h"
#include "platform/LineReader.h"

namespace orfa {

namespace {

bool IsControlOrBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// Whether lower-cased `line` holds `loweredNeedle` at `pos`.
bool HoldsAt(const std::string& line, size_t pos, const std::string& loweredNeedle) {
  if (line.size() < pos + loweredNeedle.size()) return false;
  for (size_t i = 0; i < loweredNeedle.size(); ++i) {
    if (LowerAscii(line[pos + i]) != loweredNeedle[i]) return false;
  }
  return true;
}

// The header test on the start of a line only: the needle ends with "]", so
// trimming the line's end never reaches into it, and its first occurrence
// starts at the second character exactly when it stands there and not at the
// first. So the first needle-size + 1 characters decide.
bool IsHeaderStartOf(const std::string& start, const std::string& loweredNeedle) {
  return !start.empty() && start[0] == '[' && HoldsAt(start, 1, loweredNeedle) &&
         !HoldsAt(start, 0, loweredNeedle);
}

}  // namespace

bool IsHeaderOf(const std::string& line, const std::string& key) {
  return IsHeaderStartOf(line, LowerAscii(key) + "]");
}

bool IsIgnoredLanguageFileName(const std::string& name) {
  return name.find('!') != std::string::npos;
}

bool IsBlankLine(const std::string& line) {
  for (char c : line) {
    if (!IsControlOrBlank(c)) return false;
  }
  return true;
}

EntryResult ReadLanguageEntry(FileSystem& files, const std::string& path, const std::string& key,
                              EntryShape shape) {
  EntryResult result;
  uint32_t error = 0;
  std::unique_ptr<File> file =
      files.Open(path, kGenericRead, kShareRead, Disposition::OpenExisting, &error);
  if (!file) {
    result.status = EntryStatus::Failed;
    return result;
  }
  LineReader reader(*file);
  // One pass over the file: of the lines before the header only their start
  // is kept, whatever their length.
  const std::string needle = LowerAscii(key) + "]";
  std::string line;
  for (;;) {
    error = 0;
    if (!reader.ReadLine(line, needle.size() + 1, &error)) {
      result.status = error ? EntryStatus::Failed : EntryStatus::Missing;
      return result;
    }
    if (IsHeaderStartOf(line, needle)) break;
  }

  // The first value line; a header on the last line has an empty value.
  error = 0;
  if (!reader.ReadLine(result.value, &error)) {
    result.value.clear();
    if (error) {
      result.status = EntryStatus::Failed;
      return result;
    }
  }
  if (shape == EntryShape::SingleLine) {
    result.status = EntryStatus::Found;
    return result;
  }
  if (shape == EntryShape::LinesEmptyFirstMissing && result.value.empty()) {
    result.status = EntryStatus::Missing;
    return result;
  }

  for (;;) {
    error = 0;
    if (!reader.ReadLine(line, &error)) {
      result.status = error ? EntryStatus::Failed : EntryStatus::Found;
      return result;
    }
    if (IsBlankLine(line)) break;
    result.value += "\r\n";
    result.value += line;
  }
  result.status = EntryStatus::Found;
  return result;
}

}  // namespace orfa
