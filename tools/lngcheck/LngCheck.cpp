#include "tools/lngcheck/LngCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "core/Text.h"
#include "lang/Lang.h"
#include "lang/LangFile.h"
#include "lang/MessageKeys.h"
#include "platform/LineReader.h"

namespace orfa {
namespace lngcheck {

namespace {

// A file in memory, read through the installer's own line reader.
class MemoryFile : public File {
 public:
  explicit MemoryFile(const std::string& bytes) : bytes_(bytes) {}
  std::optional<size_t> Read(void* buffer, size_t size, uint32_t*) override {
    const size_t count = std::min(size, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, count);
    pos_ += count;
    return count;
  }
  uint32_t Write(const void*, size_t) override { return 5; }  // access denied
  uint32_t Seek(uint64_t offset) override {
    pos_ = static_cast<size_t>(std::min<uint64_t>(offset, bytes_.size()));
    return 0;
  }
  std::optional<uint64_t> Size(uint32_t*) override { return bytes_.size(); }
  uint32_t Flush() override { return 5; }  // nothing written to flush: access denied
  std::optional<uint32_t> Attributes(uint32_t*) override { return kAttrNormal; }
  std::optional<uint32_t> LinkCount(uint32_t*) override { return 1; }
  bool NamedIn(Folder&, const std::string&) override { return false; }
  bool OwnedByAdministrators() override { return false; }
  uint32_t RenameReplacing(Folder&, const std::string&) override { return 5; }  // access denied
  uint32_t SetDeletePending(bool) noexcept override { return 5; }

 private:
  const std::string& bytes_;
  size_t pos_ = 0;
};

std::vector<std::string> SplitLines(const std::string& bytes) {
  MemoryFile file(bytes);
  LineReader reader(file);
  std::vector<std::string> lines;
  std::string line;
  uint32_t error = 0;
  while (reader.ReadLine(line, &error)) lines.push_back(line);
  return lines;
}

// A key's entry as a lookup finds it: the first header that belongs to the
// key, and the value lines (one, or up to the first blank line).
struct Entry {
  size_t header = 0;              // index of the header line
  std::vector<size_t> valueLines;  // indexes of the value's lines
};

std::optional<Entry> FindEntry(const std::vector<std::string>& lines, const std::string& key,
                               KeyLookup lookup) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!IsHeaderOf(lines[i], key)) continue;
    Entry entry;
    entry.header = i;
    if (i + 1 < lines.size()) entry.valueLines.push_back(i + 1);
    if (lookup == KeyLookup::Lines && i + 1 < lines.size() && !lines[i + 1].empty()) {
      for (size_t j = i + 2; j < lines.size() && !IsBlankLine(lines[j]); ++j) {
        entry.valueLines.push_back(j);
      }
    }
    return entry;
  }
  return std::nullopt;
}

// The entry's value without the header lines it swallowed (reported once,
// as a missing blank line, instead of as a fault of every line after it).
Entry OwnLines(const std::vector<std::string>& lines, Entry entry) {
  for (size_t k = 1; k < entry.valueLines.size(); ++k) {
    if (lines[entry.valueLines[k]][0] == '[') {
      entry.valueLines.resize(k);
      break;
    }
  }
  return entry;
}

// Found, with a first value line that is not empty (an empty one counts as
// missing and sends the lookup to the fallback file).
bool HasValue(const std::vector<std::string>& lines, const std::optional<Entry>& entry) {
  return entry && !entry->valueLines.empty() && !lines[entry->valueLines.front()].empty();
}

// A byte-order mark at the start of a file. The installer reads 8-bit text
// and knows none of them: after UTF-8's mark the text is still read, in the
// code page of the file's language; in UTF-16 zero bytes split every header,
// so no entry is found.
struct ByteOrderMark {
  const char* encoding;
  const char* bytes;
  bool wide;  // UTF-16
  bool bigEndian;
};

constexpr ByteOrderMark kByteOrderMarks[] = {
    {"UTF-8", "\xEF\xBB\xBF", false, false},
    {"UTF-16 LE", "\xFF\xFE", true, false},
    {"UTF-16 BE", "\xFE\xFF", true, true},
};

const ByteOrderMark* FindByteOrderMark(const std::string& bytes) {
  for (const ByteOrderMark& mark : kByteOrderMarks) {
    if (bytes.rfind(mark.bytes, 0) == 0) return &mark;
  }
  return nullptr;
}

std::string HexBytes(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
    out += (out.empty() ? "" : " ") + std::string(hex);
  }
  return out;
}

// The ASCII characters of UTF-16 text after its mark ("?" for the others):
// enough to read the file's "[langcode]".
std::string AsciiOfUtf16(const std::string& bytes, bool bigEndian) {
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const unsigned char high = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
    const unsigned char low = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
    text += high == 0 && low < 0x80 ? static_cast<char>(low) : '?';
  }
  return text;
}

// The first "[langcode]" line as a lookup takes it, when it is an integer.
std::optional<int32_t> FirstLanguageCode(const std::vector<std::string>& lines) {
  const std::optional<Entry> entry = FindEntry(lines, "langcode", KeyLookup::Text);
  int32_t code = 0;
  if (!HasValue(lines, entry) || !ParseDecimal(lines[entry->valueLines.front()], &code)) {
    return std::nullopt;
  }
  return code;
}

struct KeyRule {
  std::string key;
  KeyLookup lookup;
  int texts;
  bool integer;
};

std::vector<KeyRule> Rules(const CheckOptions& options) {
  std::vector<KeyRule> rules;
  for (const MessageKey& k : kMessageKeys) rules.push_back({k.key, k.lookup, k.texts, k.integer});
  rules.push_back({options.titleKey, KeyLookup::Text, 0, false});
  return rules;
}

struct Parsed {
  const LanguageFileText* file;
  std::vector<std::string> lines;
};

class Checker {
 public:
  Checker(const std::vector<LanguageFileText>& files, const CheckOptions& options)
      : options_(options), rules_(Rules(options)) {
    for (const LanguageFileText& file : files) {
      if (IsIgnoredLanguageFileName(file.name)) continue;
      parsed_.push_back({&file, SplitLines(file.bytes)});
      const std::string lowered = LowerAscii(file.name);
      if (lowered == "russian.lng") russian_ = parsed_.size() - 1;
      else if (lowered == "english.lng") english_ = parsed_.size() - 1;
    }
  }

  std::vector<Diagnostic> Run() {
    if (!options_.folder.empty()) {
      for (const char* name : {"english.lng", "russian.lng"}) {
        const bool present = std::string(name) == "english.lng" ? english_.has_value()
                                                                : russian_.has_value();
        if (!present) {
          Report(options_.folder, 1, true,
                 std::string("no ") + name + ": the installer refuses to run without it");
        }
      }
    }
    for (size_t i = 0; i < parsed_.size(); ++i) CheckFile(i);
    return std::move(diagnostics_);
  }

 private:
  void Report(const std::string& path, size_t line, bool error, const std::string& message) {
    diagnostics_.push_back({path, line, error, message});
  }
  void Report(const Parsed& p, size_t index, bool error, const std::string& message) {
    Report(p.file->path, index + 1, error, message);
  }

  void CheckFile(size_t index) {
    const Parsed& p = parsed_[index];
    const ByteOrderMark* mark = FindByteOrderMark(p.file->bytes);
    if (mark && mark->wide) {
      // Every key would be missing: the one cause is reported instead.
      ReportUtf16(index, *mark);
      return;
    }
    CheckRunOns(p);
    std::optional<int32_t> language;  // the first "[langcode]" line the installer takes
    const Parsed* languageFrom = &p;
    for (const KeyRule& rule : rules_) {
      const std::optional<Entry> entry = FindEntry(p.lines, rule.key, rule.lookup);
      const Parsed* source = &p;
      std::optional<Entry> used = entry;
      if (!HasValue(p.lines, entry)) {
        const Parsed* fallback = ReportMissing(index, rule.key);
        if (!fallback) continue;
        source = fallback;
        used = FindEntry(fallback->lines, rule.key, rule.lookup);
      }
      used = OwnLines(source->lines, *used);
      if (rule.key == "langcode") {
        language = CheckLanguageCodes(*source, *used, source == &p);
        languageFrom = source;
      }
      if (source != &p) continue;  // checked with the fallback file itself
      if (rule.integer && rule.key != "langcode") CheckInteger(p, *used, rule.key);
      CheckPlaceholders(p, *used, rule);
    }
    if (mark) {
      ReportUtf8(p, *mark, language, *languageFrom);
    } else {
      CheckBytes(p, language ? CodePageOfLocale(*language) : 0);
    }
  }

  // The code page the installer reads a file in, from its first "[langcode]"
  // line (taken from `from`, the file itself or its fallback file).
  static std::string CodePageText(const std::optional<int32_t>& language, const Parsed& from,
                                  const Parsed& file) {
    const unsigned codePage = language ? CodePageOfLocale(*language) : 0;
    if (codePage == 0) return "the system's ANSI code page";
    return "code page " + std::to_string(codePage) + ", by " +
           (&from == &file ? std::string("its") : "the fallback file " + from.file->name + "'s") +
           " \"[langcode]\" " + std::to_string(*language);
  }

  // UTF-8 is read as 8-bit text in the language's code page: its letters
  // outside ASCII come out garbled, and the mark hides a header on line 1.
  void ReportUtf8(const Parsed& p, const ByteOrderMark& mark,
                  const std::optional<int32_t>& language, const Parsed& languageFrom) {
    const std::string& bytes = p.file->bytes;
    const bool wider = std::any_of(bytes.begin() + 3, bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    std::string hidden;
    if (!p.lines.empty()) {
      const std::string first = p.lines[0].substr(3);
      for (const KeyRule& rule : rules_) {
        if (IsHeaderOf(first, rule.key)) hidden = "\"[" + rule.key + "]\"";
      }
    }
    std::string message = std::string("the file is ") + mark.encoding +
                          " (it starts with the byte-order mark " + HexBytes(mark.bytes) +
                          "): the installer does not convert it but reads its bytes in " +
                          CodePageText(language, languageFrom, p);
    if (wider) message += ", so every letter outside ASCII shows garbled";
    if (!hidden.empty()) message += ", and the mark hides the header " + hidden + " on line 1";
    if (!wider && hidden.empty()) message += "; it is read right only because it is all ASCII";
    // Its own language names the code page to save it in.
    const bool known = &languageFrom == &p && language && CodePageOfLocale(*language) != 0;
    Report(p, 0, wider || !hidden.empty(),
           message + (known ? "; save it in that code page" : "; save it as 8-bit text in its "
                                                              "language's code page") +
               ", without the mark");
  }

  // UTF-16: the installer finds none of the file's entries.
  void ReportUtf16(size_t index, const ByteOrderMark& mark) {
    const Parsed& p = parsed_[index];
    std::string message = std::string("the file is ") + mark.encoding +
                          " (it starts with the byte-order mark " + HexBytes(mark.bytes) +
                          "): the installer reads 8-bit text, where zero bytes split every "
                          "header, so it finds none of this file's entries";
    if (english_ && *english_ == index) {
      message += "; english.lng is the fallback file of all but Russian-locale users: for them "
                 "the installer finds no \"[langcode]\" and reports that the file contains "
                 "errors";
    } else if (russian_ && *russian_ == index) {
      message += "; russian.lng is the fallback file of Russian-locale users: for them the "
                 "installer finds no \"[langcode]\" and reports that the file contains errors";
    } else {
      message += " and takes every text, \"[langcode]\" included, from the fallback file "
                 "english.lng (russian.lng for Russian-locale users)";
    }
    const std::optional<int32_t> language =
        FirstLanguageCode(SplitLines(AsciiOfUtf16(p.file->bytes, mark.bigEndian)));
    const unsigned codePage = language ? CodePageOfLocale(*language) : 0;
    message += codePage == 0 ? std::string("; save it as 8-bit text in its language's code page")
                             : "; save it as 8-bit text in code page " + std::to_string(codePage) +
                                   ", which the installer takes by its \"[langcode]\" " +
                                   std::to_string(*language);
    Report(p, 0, true, message + ", without the mark");
  }

  // Says where a key the file lacks comes from; returns the fallback file
  // for the file's own users (English, or Russian when only that has it).
  const Parsed* ReportMissing(size_t index, const std::string& key) {
    const Parsed& p = parsed_[index];
    auto has = [&](const std::optional<size_t>& f) {
      return f && HasValue(parsed_[*f].lines, FindEntry(parsed_[*f].lines, key, KeyLookup::Text));
    };
    const std::string header = "\"[" + key + "]\"";
    if ((english_ && *english_ == index) || (russian_ && *russian_ == index)) {
      Report(p, 0, true, header + " is missing from the fallback file " + p.file->name +
                             ": its users get an empty text");
      return nullptr;
    }
    std::vector<std::string> lacking;
    if (!has(english_)) lacking.push_back("english.lng");
    if (!has(russian_)) lacking.push_back("russian.lng");
    if (!lacking.empty()) {
      Report(p, 0, true, header + " is missing here and in " + lacking.front() +
                             ", its fallback file: its users get an empty text");
      return nullptr;
    }
    Report(p, 0, false, header + " is missing: it will come from the fallback file english.lng "
                                 "(russian.lng for Russian-locale users)");
    return &parsed_[*english_];
  }

  // A header line right under a value, with no blank line between: the value
  // runs on into it. Every lookup scans the whole file for its own header, so
  // the swallowed header's entry is found all the same; what changes is the
  // value before it, and only where the installer reads that value as lines
  // (the first header of a key it looks up as lines).
  void CheckRunOns(const Parsed& p) {
    std::map<size_t, KeyLookup> read;  // header line -> how the installer reads its value
    for (const KeyRule& rule : rules_) {
      if (const std::optional<Entry> entry = FindEntry(p.lines, rule.key, rule.lookup)) {
        read[entry->header] = rule.lookup;
      }
    }
    for (size_t i = 0; i < p.lines.size(); ++i) {
      if (p.lines[i].empty() || p.lines[i][0] != '[') continue;
      const auto known = read.find(i);
      if (known != read.end() && known->second == KeyLookup::Text) continue;  // one line
      const bool installerReads = known != read.end();
      // A value the installer reads as lines may not touch the next header
      // after its first line. Any other value with one line before the next
      // header is a single-line value; with two or more it was meant as lines.
      for (size_t j = i + 1; j < p.lines.size() && !IsBlankLine(p.lines[j]); ++j) {
        if (p.lines[j][0] != '[') continue;
        if (installerReads && j == i + 1) continue;  // its first line, taken as it is
        if (!installerReads && j <= i + 2) break;    // the next entry
        const std::string where = "value of \"" + p.lines[i] + "\" (line " +
                                  std::to_string(i + 1) + ") runs into the header on line " +
                                  std::to_string(j + 1);
        if (installerReads) {
          Report(p, j, true,
                 "the multi-line " + where +
                     ": a blank line is missing before it, so the installer reads that header "
                     "as part of the value");
        } else {
          Report(p, j, false,
                 "the " + where +
                     " with no blank line before it: the installer never reads that value and "
                     "finds the header all the same, but the product may read the header as "
                     "part of the value");
        }
        break;
      }
    }
  }

  void CheckInteger(const Parsed& p, const Entry& entry, const std::string& key) {
    int32_t value = 0;
    const size_t line = entry.valueLines.empty() ? entry.header : entry.valueLines.front();
    const std::string text = entry.valueLines.empty() ? std::string() : p.lines[line];
    if (!ParseDecimal(text, &value)) {
      Report(p, line, true, "\"[" + key + "]\" value \"" + text +
                                "\" is not a decimal integer: the installer reports that the "
                                "file contains errors");
    }
  }

  // Every line an integer; the first names the language and its code page.
  std::optional<int32_t> CheckLanguageCodes(const Parsed& p, const Entry& entry, bool own) {
    std::optional<int32_t> language;
    for (size_t k = 0; k < entry.valueLines.size(); ++k) {
      const size_t line = entry.valueLines[k];
      int32_t code = 0;
      if (!ParseDecimal(p.lines[line], &code)) {
        if (own) {
          Report(p, line, true, "\"[langcode]\" line \"" + p.lines[line] +
                                    "\" is not a decimal integer: the installer reports that "
                                    "the file contains errors");
        }
        continue;
      }
      const unsigned cp = CodePageOfLocale(code);
      if (cp == 0 && own) {
        Report(p, line, false, "\"[langcode]\" " + std::to_string(code) +
                                   " names no locale this checker knows");
      }
      if (k == 0) language = code;
    }
    return language;
  }

  void CheckPlaceholders(const Parsed& p, const Entry& entry, const KeyRule& rule) {
    std::set<int> used;
    for (size_t line : entry.valueLines) {
      const std::string& text = p.lines[line];
      for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 1)) {
        if (at + 1 >= text.size() || text[at + 1] < '0' || text[at + 1] > '9') continue;
        const int number = text[at + 1] - '0';
        used.insert(number);
        if (number < 1 || number > rule.texts) {
          Report(p, line, true,
                 "\"%" + std::to_string(number) + "\" in \"[" + rule.key + "]\": the installer " +
                     (rule.texts == 0 ? std::string("supplies no texts for this key")
                                      : "supplies " + std::to_string(rule.texts) +
                                            (rule.texts == 1 ? " text (%1)" : " texts (%1..%" +
                                                 std::to_string(rule.texts) + ")")));
        }
      }
    }
    // Filling stops at the first absent placeholder.
    for (int k = 1; k <= rule.texts; ++k) {
      if (used.count(k)) continue;
      const bool later = used.upper_bound(k) != used.end() && *used.upper_bound(k) <= rule.texts;
      Report(p, entry.header, later,
             "\"[" + rule.key + "]\" does not use \"%" + std::to_string(k) + "\"" +
                 (later ? ": the placeholders after it stay unfilled" : ""));
      break;
    }
  }

  void CheckBytes(const Parsed& p, unsigned codePage);

  const CheckOptions& options_;
  std::vector<KeyRule> rules_;
  std::vector<Parsed> parsed_;
  std::optional<size_t> english_;
  std::optional<size_t> russian_;
  std::vector<Diagnostic> diagnostics_;
};

// Bytes that a single-byte Windows code page leaves undefined.
bool IsUndefined(unsigned codePage, unsigned char b) {
  auto in = [b](std::initializer_list<int> list) {
    for (int x : list) {
      if (x == b) return true;
    }
    return false;
  };
  switch (codePage) {
    case 874: return (b >= 0x81 && b <= 0x90 && b != 0x85) || (b >= 0x98 && b <= 0x9F) ||
                     (b >= 0xDB && b <= 0xDE) || b >= 0xFC;
    case 1250: return in({0x81, 0x83, 0x88, 0x90, 0x98});
    case 1251: return b == 0x98;
    case 1252: return in({0x81, 0x8D, 0x8F, 0x90, 0x9D});
    case 1253: return in({0x81, 0x88, 0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x98, 0x9A, 0x9C,
                          0x9D, 0x9E, 0x9F, 0xAA, 0xD2, 0xFF});
    case 1254: return in({0x81, 0x8D, 0x8E, 0x8F, 0x90, 0x9D, 0x9E});
    case 1255: return in({0x81, 0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9C, 0x9D, 0x9E,
                          0x9F, 0xCA, 0xFB, 0xFC, 0xFF}) || (b >= 0xD9 && b <= 0xDF);
    case 1257: return in({0x81, 0x83, 0x88, 0x8A, 0x8C, 0x90, 0x98, 0x9A, 0x9C, 0x9F, 0xA1,
                          0xA5});
    case 1258: return in({0x81, 0x8A, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9D, 0x9E});
    default: return false;  // 1256 defines every byte; multi-byte pages are not checked
  }
}

void Checker::CheckBytes(const Parsed& p, unsigned codePage) {
  if (codePage == 0) return;
  for (size_t i = 0; i < p.lines.size(); ++i) {
    for (size_t c = 0; c < p.lines[i].size(); ++c) {
      const unsigned char b = static_cast<unsigned char>(p.lines[i][c]);
      if (b >= 0x80 && IsUndefined(codePage, b)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", b);
        Report(p, i, true, std::string("byte ") + hex + " (column " + std::to_string(c + 1) +
                               ") is not defined in code page " + std::to_string(codePage) +
                               ", the file's code page by its \"[langcode]\"");
      }
    }
  }
}

}  // namespace

std::vector<Diagnostic> CheckLanguageFiles(const std::vector<LanguageFileText>& files,
                                           const CheckOptions& options) {
  return Checker(files, options).Run();
}

std::string FormatDiagnostic(const Diagnostic& d) {
  return d.path + ":" + std::to_string(d.line) + ": " + (d.error ? "error: " : "warning: ") +
         d.message;
}

unsigned CodePageOfLocale(long lcid) {
  if (lcid <= 0 || lcid > 0xFFFF) return 0;
  const unsigned primary = static_cast<unsigned>(lcid) & 0x3FF;
  const unsigned sub = static_cast<unsigned>(lcid) >> 10;
  switch (primary) {
    case 0x19: case 0x22: case 0x23: case 0x02: case 0x2F: case 0x3F: case 0x40: case 0x44:
    case 0x50:
      return 1251;
    case 0x1A: return sub == 3 || sub == 7 ? 1251 : 1250;  // Serbian Cyrillic, else Latin
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24:
      return 1250;
    case 0x09: case 0x07: case 0x0C: case 0x0A: case 0x10: case 0x13: case 0x16: case 0x06:
    case 0x14: case 0x1D: case 0x0B: case 0x0F: case 0x03: case 0x2D: case 0x56: case 0x21:
    case 0x3E: case 0x41: case 0x36:
      return 1252;
    case 0x08: return 1253;
    case 0x1F: case 0x2C: return 1254;
    case 0x0D: return 1255;
    case 0x01: case 0x29: case 0x20: return 1256;
    case 0x25: case 0x26: case 0x27: return 1257;
    case 0x2A: return 1258;
    case 0x1E: return 874;
    case 0x11: return 932;
    case 0x12: return 949;
    case 0x04: return sub == 1 || sub == 4 ? 936 : 950;
    default: return 0;
  }
}

}  // namespace lngcheck
}  // namespace orfa
