// Version stamps of the product's files and the comparison of dotted
// version texts.
#include <vector>

#include "install/Versions.h"
#include "lang/Lang.h"
#include "lang/LangFile.h"
#include "platform/IntegerText.h"
#include "platform/LineReader.h"

namespace orfa {

namespace {

// Where a binary data file keeps its data version: a little-endian number
// of `width` bytes at `offset`.
struct BinaryStamp {
  uint64_t offset;
  size_t width;
};
constexpr BinaryStamp kPakStamp{6, 2};
constexpr BinaryStamp kCokStamp{5, 2};
constexpr BinaryStamp k3bsStamp{6, 1};

int32_t BinaryVersionOf(File& file, BinaryStamp stamp);

// The text after a language file's "[langver]" header (without one, its
// last line); false when the file cannot be read.
bool ReadLngVersionText(File& file, std::string* versionText) {
  LineReader reader(file);
  std::string line;
  uint32_t error = 0;
  for (;;) {
    error = 0;
    if (!reader.ReadLine(line, &error)) {
      // The end without a header: the last line read stands for the version.
      return error == kErrorSuccess;
    }
    *versionText = line;
    if (IsHeaderOf(line, "langver")) {
      error = 0;
      if (reader.ReadLine(*versionText, &error)) return true;
      versionText->clear();
      return error == kErrorSuccess;
    }
  }
}

// The version in that text; 0, after the error box naming `path`, when
// the file could not be read or the text is no number.
int32_t LngVersionOf(SetupContext& ctx, bool read, const std::string& versionText,
                     const std::string& path) {
  int32_t version = 0;
  if (read && ParseIntegerText(versionText, &version)) return version;
  ReportLanguageFileError(ctx, path);
  return 0;
}

// The stamp's number; 0 when the file is missing, cannot be opened
// exclusively, or is too short.
int32_t ReadBinaryVersion(SetupContext& ctx, const std::string& path, BinaryStamp stamp) {
  FileSystem& fs = ctx.Os.files;
  if (!FileExists(fs, path)) return 0;
  uint32_t error = 0;
  std::unique_ptr<File> file = fs.Open(path, kGenericRead, kShareNone, Disposition::OpenExisting,
                                       &error);
  if (!file) return 0;
  return BinaryVersionOf(*file, stamp);
}

// The same of a file already open.
int32_t BinaryVersionOf(File& file, BinaryStamp stamp) {
  uint32_t error = 0;
  if (file.Seek(stamp.offset) != kErrorSuccess) return 0;
  uint8_t bytes[2] = {0, 0};
  size_t got = 0;
  while (got < stamp.width) {
    auto count = file.Read(bytes + got, stamp.width - got, &error);
    if (!count || *count == 0) break;
    got += *count;
  }
  if (got != stamp.width) return 0;
  uint32_t value = 0;
  for (size_t i = stamp.width; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return static_cast<int32_t>(value);
}

// Splits a version text into at most four parts at its first three "."; the
// fourth part is the whole rest.
std::vector<std::string> VersionParts(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() < 3) {
    size_t dot = text.find('.', start);
    if (dot == std::string::npos) break;
    parts.push_back(text.substr(start, dot - start));
    start = dot + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// At least four upper-case hexadecimal digits.
std::string Hex4(unsigned value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
  return text;
}

}  // namespace

bool ParseIntegerText(const std::string& text, int32_t* value) {
  return ParseInt32(text, IntegerDigits::DecimalOrHex, value);
}

int32_t ReadPakVersion(SetupContext& ctx, const std::string& path) {
  return ReadBinaryVersion(ctx, path, kPakStamp);
}

int32_t ReadCokVersion(SetupContext& ctx, const std::string& path) {
  return ReadBinaryVersion(ctx, path, kCokStamp);
}

int32_t Read3bsVersion(SetupContext& ctx, const std::string& path) {
  return ReadBinaryVersion(ctx, path, k3bsStamp);
}

int32_t ReadLngVersion(SetupContext& ctx, const std::string& path) {
  FileSystem& fs = ctx.Os.files;
  if (!FileExists(fs, path)) return 0;
  uint32_t error = 0;
  std::unique_ptr<File> file = fs.Open(path, kGenericRead, kShareRead, Disposition::OpenExisting,
                                       &error);
  if (!file) {
    ReportLanguageFileError(ctx, path);
    return 0;
  }
  std::string versionText;
  const bool read = ReadLngVersionText(*file, &versionText);
  file.reset();  // not held while an error box shows
  return LngVersionOf(ctx, read, versionText, path);
}

int32_t ReadVersionOfOpenFile(SetupContext& ctx, const std::string& type, File& file,
                              const std::string& path) {
  if (type == "pak") return BinaryVersionOf(file, kPakStamp);
  if (type == "cok") return BinaryVersionOf(file, kCokStamp);
  if (type == "3bs") return BinaryVersionOf(file, k3bsStamp);
  if (type != "lng") return 0;
  std::string versionText;
  const bool read = file.Seek(0) == kErrorSuccess && ReadLngVersionText(file, &versionText);
  return LngVersionOf(ctx, read, versionText, path);
}

std::string ReadExeFileVersion(SetupContext& ctx, const std::string& path) {
  FileSystem& fs = ctx.Os.files;
  if (!fs.IsProgram(path)) return std::string();
  std::optional<std::string> block = fs.VersionBlock(path);
  if (!block || block->empty()) return std::string();
  std::optional<std::string> translations = fs.VersionValue(*block, "\\VarFileInfo\\Translation");
  if (!translations || translations->size() < 4) return std::string();
  const auto* t = reinterpret_cast<const unsigned char*>(translations->data());
  unsigned language = t[0] | (t[1] << 8);
  unsigned codePage = t[2] | (t[3] << 8);
  std::string query = "\\StringFileInfo\\" + Hex4(language) + Hex4(codePage) + "\\FileVersion";
  std::optional<std::string> text = fs.VersionValue(*block, query);
  if (!text) return std::string();
  return text->substr(0, text->find('\0'));
}

bool IsOlderVersionText(const std::string& newText, const std::string& oldText) {
  const std::vector<std::string> newParts = VersionParts(newText);
  const std::vector<std::string> oldParts = VersionParts(oldText);
  for (size_t i = 0; i < 4; ++i) {
    // A part that a shorter text lacks counts as 0; a part that is there but
    // is no number decides at once.
    int32_t o = 0;
    int32_t n = 0;
    if (i < oldParts.size() && !ParseIntegerText(oldParts[i], &o)) return false;
    if (i < newParts.size() && !ParseIntegerText(newParts[i], &n)) return true;
    if (o != n) return o > n;
  }
  return false;
}

}  // namespace orfa
