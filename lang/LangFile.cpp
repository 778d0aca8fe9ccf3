#include "lang/LangFile.h"

#include "core/SetupContext.h"
#include "platform/LineReader.h"

namespace orfa {

namespace {

bool IsControlOrBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string TrimControls(const std::string& line) {
  size_t begin = 0;
  size_t end = line.size();
  while (begin < end && IsControlOrBlank(line[begin])) ++begin;
  while (end > begin && IsControlOrBlank(line[end - 1])) --end;
  return line.substr(begin, end - begin);
}

bool IsHeaderOfLowered(const std::string& line, const std::string& loweredNeedle) {
  if (line.empty() || line[0] != '[') return false;
  return LowerAscii(TrimControls(line)).find(loweredNeedle) == 1;
}

}  // namespace

bool IsHeaderOf(const std::string& line, const std::string& key) {
  return IsHeaderOfLowered(line, LowerAscii(key) + "]");
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
  const std::string needle = LowerAscii(key) + "]";
  std::string line;
  for (;;) {
    error = 0;
    if (!reader.ReadLine(line, &error)) {
      result.status = error ? EntryStatus::Failed : EntryStatus::Missing;
      return result;
    }
    if (IsHeaderOfLowered(line, needle)) break;
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
