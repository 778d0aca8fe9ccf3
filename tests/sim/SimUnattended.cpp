#include "tests/sim/SimUnattended.h"

#include "tests/sim/SimText.h"

namespace orfa::sim {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void PutUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The letters of Windows-1251 (А..я, Ё, ё); nullopt-like 0 for the rest.
uint32_t FromCp1251(uint8_t byte) {
  if (byte >= 0xC0) return 0x410 + (byte - 0xC0);
  if (byte == 0xA8) return 0x401;
  if (byte == 0xB8) return 0x451;
  return 0;
}

class SimAppendFile : public AppendFile {
 public:
  SimAppendFile(SimUnattended::Entry& entry, std::string path, bool finalPathOffered)
      : entry_(entry), path_(std::move(path)), finalPathOffered_(finalPathOffered) {}
  uint32_t Append(const std::string& bytes) override {
    entry_.bytes += bytes;
    return kErrorSuccess;
  }
  std::optional<OpenFileFacts> Facts(uint32_t* error) override {
    *error = kErrorSuccess;
    return OpenFileFacts{entry_.attributes, entry_.links};
  }
  std::optional<std::string> FinalPath() override {
    if (!finalPathOffered_) return std::nullopt;
    return entry_.finalPath.empty() ? path_ : entry_.finalPath;
  }

 private:
  SimUnattended::Entry& entry_;
  std::string path_;
  bool finalPathOffered_;
};

}  // namespace

SimUnattended::SimUnattended() { AddFolder(temp_); }

void SimUnattended::AddFolder(const std::string& folder) {
  std::string path = folder;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  folders_[Fold(path)] = true;
}

void SimUnattended::Plant(const std::string& path, const Entry& entry) {
  entries_[Fold(path)] = entry;
}

std::unique_ptr<AppendFile> SimUnattended::OpenForAppend(const std::string& path,
                                                         uint32_t* error) {
  const std::string key = Fold(path);
  auto found = entries_.find(key);
  if (found == entries_.end()) {
    if (folders_.count(Fold(FolderOf(path))) == 0) {
      *error = kErrorPathNotFound;
      return nullptr;
    }
    found = entries_.emplace(key, Entry()).first;
  }
  *error = kErrorSuccess;
  return std::make_unique<SimAppendFile>(found->second, path, finalPathOffered_);
}

std::string SimUnattended::Utf8Of(const TextPiece& piece) {
  std::string out;
  for (const char c : piece.text) {
    const auto byte = static_cast<uint8_t>(c);
    uint32_t code = byte;
    if (byte >= 0x80) {
      if (piece.codePage == kCodePageRussian) code = FromCp1251(byte);
      else code = byte >= 0xA0 ? byte : 0;  // 1252, the system's ANSI code page here
    }
    PutUtf8(out, code == 0 && byte != 0 ? '?' : code);
  }
  return out;
}

std::string SimUnattended::Bytes(const std::string& path) const {
  const auto found = entries_.find(Fold(path));
  return found == entries_.end() ? std::string() : found->second.bytes;
}

bool SimUnattended::Exists(const std::string& path) const {
  return entries_.count(Fold(path)) != 0;
}

}  // namespace orfa::sim
