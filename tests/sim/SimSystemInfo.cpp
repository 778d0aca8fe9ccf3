#include "tests/sim/SimSystemInfo.h"

#include "tests/sim/SimText.h"

namespace orfa::sim {

namespace {

// CP866 (the Russian OEM code page) to CP1251 for the bytes 0x80..0xFF; '?'
// where CP1251 has no such character (the box-drawing block).
const uint8_t kCp866ToCp1251[128] = {
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
    0xA8, 0xB8, 0xAA, 0xBA, 0xAF, 0xBF, 0xA1, 0xA2, 0xB0, 0x3F, 0xB7, 0x3F, 0xB9, 0xA4, 0x3F, 0xA0,
};

// Default ANSI code page by primary language (LANGIDFROMLCID & 0x3FF).
uint32_t CodePageOfLanguage(uint32_t lcid) {
  switch (lcid & 0xFFFF) {  // the few locales whose code page differs from their language's
    case 0x0C1A: case 0x1C1A: case 0x0843: case 0x082C: return 1251;  // Cyrillic Serbian, Bosnian, Uzbek, Azeri
    case 0x081A: case 0x041A: case 0x101A: case 0x141A: return 1250;  // Latin Serbian, Croatian, Bosnian
    case 0x042C: case 0x0443: return 1254;                             // Latin Azeri, Uzbek
    case 0x0804: case 0x1004: return 936;                              // Chinese (PRC, Singapore)
    case 0x0404: case 0x0C04: case 0x1404: return 950;                 // Chinese (Taiwan, Hong Kong, Macao)
    default: break;
  }
  switch (lcid & 0x3FF) {
    case 0x19: case 0x22: case 0x23: case 0x02: case 0x3F: case 0x44: case 0x40: case 0x50:
    case 0x2F: case 0x28: case 0x6D: case 0x85:
      return 1251;  // Russian, Ukrainian, Belarusian, Bulgarian, Kazakh, Tatar, Kyrgyz, Mongolian, ...
    case 0x09: case 0x07: case 0x0C: case 0x0A: case 0x10: case 0x16: case 0x13: case 0x06:
    case 0x1D: case 0x14: case 0x0B: case 0x0F: case 0x03: case 0x2D: case 0x56: case 0x36:
    case 0x21: case 0x3E: case 0x41: case 0x38:
      return 1252;  // English, German, French, Spanish, Italian, Portuguese, Dutch, Nordic, ...
    case 0x15: case 0x05: case 0x1B: case 0x0E: case 0x24: case 0x18: case 0x1C:
      return 1250;  // Polish, Czech, Slovak, Hungarian, Slovenian, Romanian, Albanian
    case 0x08: return 1253;                        // Greek
    case 0x1F: return 1254;                        // Turkish
    case 0x0D: return 1255;                        // Hebrew
    case 0x01: case 0x29: case 0x20: return 1256;  // Arabic, Farsi, Urdu
    case 0x25: case 0x26: case 0x27: return 1257;  // Estonian, Latvian, Lithuanian
    case 0x2A: return 1258;                        // Vietnamese
    case 0x1E: return 874;                         // Thai
    case 0x11: return 932;                         // Japanese
    case 0x12: return 949;                         // Korean
    default: return 0;
  }
}

}  // namespace

SimSystemInfo::SimSystemInfo() {
  OsVersionRecord xp;
  xp.major = 5;
  xp.minor = 1;
  xp.build = 2600;
  xp.platformId = 2;
  xp.servicePack = "Service Pack 3";
  xp.suiteMask = 0x0100;
  xp.productType = 1;
  SetVersion(xp);
  SetEnv("Temp", "C:\\Temp");
  SetEnv("ComSpec", "C:\\WINDOWS\\system32\\cmd.exe");
}

std::optional<OsVersionRecord> SimSystemInfo::Version(bool extended) { return extended ? extended_ : basic_; }

void SimSystemInfo::SetVersion(const OsVersionRecord& record) {
  extended_ = record;
  basic_ = record;
  basic_->suiteMask = 0;
  basic_->productType = 0;
}

int SimSystemInfo::Metric(int index) {
  auto found = metrics_.find(index);
  if (found != metrics_.end()) return found->second;
  if (index == kSmCxScreen) return 1024;
  if (index == kSmCyScreen) return 768;
  return 0;
}

std::optional<std::string> SimSystemInfo::Environment(const std::string& name) {
  for (const auto& entry : environment_) {
    if (SameNoCase(entry.first, name)) return entry.second;
  }
  return std::nullopt;
}

void SimSystemInfo::SetEnv(const std::string& name, const std::string& value) {
  for (auto& entry : environment_) {
    if (SameNoCase(entry.first, name)) {
      entry.second = value;
      return;
    }
  }
  environment_.emplace_back(name, value);
}

void SimSystemInfo::UnsetEnv(const std::string& name) {
  for (auto it = environment_.begin(); it != environment_.end(); ++it) {
    if (SameNoCase(it->first, name)) {
      environment_.erase(it);
      return;
    }
  }
}

uint32_t SimSystemInfo::AnsiCodePageOf(uint32_t lcid) {
  auto found = codePages_.find(lcid);
  return found != codePages_.end() ? found->second : CodePageOfLanguage(lcid);
}

std::string SimSystemInfo::OemToAnsi(const std::string& text) {
  if (oem_ == OemConversion::Identity) return text;
  std::string out = text;
  for (char& c : out) {
    auto byte = static_cast<uint8_t>(c);
    if (byte >= 0x80) c = static_cast<char>(kCp866ToCp1251[byte - 0x80]);
  }
  return out;
}

}  // namespace orfa::sim
