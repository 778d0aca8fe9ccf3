#include "tests/sim/SimUnattended.h"

#include "tests/sim/SimText.h"

namespace orfa::sim {
namespace {

class SimAppendFile : public AppendFile {
 public:
  SimAppendFile(SimUnattended::Entry& entry, std::string path)
      : entry_(entry), path_(std::move(path)) {}
  uint32_t Append(const std::string& bytes) override {
    entry_.bytes += bytes;
    return kErrorSuccess;
  }
  std::optional<OpenFileFacts> Facts(uint32_t* error) override {
    *error = kErrorSuccess;
    return OpenFileFacts{entry_.attributes, entry_.links};
  }
  std::optional<std::string> FinalPath() override {
    return entry_.finalPath.empty() ? path_ : entry_.finalPath;
  }

 private:
  SimUnattended::Entry& entry_;
  std::string path_;
};

}  // namespace

void SimUnattended::AddFolder(const std::string& folder) {
  folders_.insert(Fold(folder.substr(0, folder.find_last_not_of('\\') + 1)));
}

void SimUnattended::Plant(const std::string& path, const Entry& entry) {
  entries_[Fold(path)] = entry;
}

std::unique_ptr<AppendFile> SimUnattended::OpenForAppend(const std::string& path,
                                                         uint32_t* error) {
  auto found = entries_.find(Fold(path));
  if (found == entries_.end()) {
    if (folders_.count(Fold(path.substr(0, path.rfind('\\')))) == 0) {
      *error = kErrorPathNotFound;
      return nullptr;
    }
    found = entries_.emplace(Fold(path), Entry()).first;
  }
  *error = kErrorSuccess;
  return std::make_unique<SimAppendFile>(found->second, path);
}

std::string SimUnattended::Utf8Of(const TextPiece& piece) {
  std::string out = piece.text;
  for (char& c : out) c = static_cast<uint8_t>(c) < 0x80 ? c : '?';
  return out;
}

std::string SimUnattended::Bytes(const std::string& path) {
  const auto found = entries_.find(Fold(path));
  return found == entries_.end() ? std::string() : found->second.bytes;
}

}  // namespace orfa::sim
