#include "tests/sim/SimFileSystem.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tests/sim/SimClock.h"
#include "tests/sim/SimText.h"

namespace orfa::sim {

namespace {

constexpr uint32_t kErrorInvalidName = 123;  // ERROR_INVALID_NAME
constexpr uint32_t kErrorDirectory = 267;    // ERROR_DIRECTORY: not a folder
constexpr uint32_t kErrorFilenameExcedRange = 206;  // a path of MAX_PATH characters or more
constexpr uint32_t kErrorCantResolveFilename = 1921;  // links that go on and on
constexpr int kMaxLinkDepth = 31;
constexpr uint32_t kSettableAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive | 0x100 | 0x2000;

struct Opening {
  uint32_t access;
  uint32_t share;
  bool DataAccess() const { return (access & (kGenericRead | kGenericWrite | kDeleteAccess)) != 0; }
};

}  // namespace

struct SimFileSystem::Node {
  std::string name;
  bool folder = false;
  uint32_t attrs = 0;
  std::string data;
  std::string linkTarget;  // full path of the target when this folder or file is a link
  std::vector<std::shared_ptr<Node>> children;
  std::map<uint64_t, Opening> opens;
  uint32_t listError = 0;
  uint32_t readError = 0;
  uint64_t readErrorAfter = 0;        // reads below this offset still succeed
  std::optional<uint64_t> listedSize;  // the size listings report, when set
  bool program = false;                     // what SHGetFileInfo(SHGFI_EXETYPE) tells
  std::optional<std::string> versionBlock;  // the version resource
  bool unflushed = false;                   // written since the last Flush
  uint32_t links = 1;                       // names the file has (SetLinkCount)
  bool deletePending = false;               // goes when its last handle closes
  bool userOwned = false;                   // owned by a user, not the Administrators group
  bool adminFolder = false;                 // made by CreateAdminFolder

  // Deleted through a handle, and no handle is left: the name is free.
  bool Gone() const { return deletePending && opens.empty(); }

  std::shared_ptr<Node> Child(const std::string& childName) const {
    for (const auto& child : children) {
      if (!child->Gone() && SameNoCase(child->name, childName)) return child;
    }
    return nullptr;
  }
  void Remove(const Node* child) {
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [child](const std::shared_ptr<Node>& c) { return c.get() == child; }),
                   children.end());
  }
  bool IsLink() const { return !linkTarget.empty(); }
  // Its attributes as Windows tells them, a link's its own.
  uint32_t OwnAttributes() const {
    const uint32_t link = IsLink() ? kAttrReparsePoint : 0;
    if (folder) return attrs | kAttrDirectory | link;
    return (attrs == 0 && !IsLink() ? kAttrNormal : attrs) | link;
  }
};

struct SimFileSystem::State {
  std::map<char, std::shared_ptr<Node>> drives;
  std::optional<uint64_t> freeBytes;
  uint64_t nextId = 1;
  size_t logicHandles = 0;
  size_t flushes = 0;
  uint64_t bytesRead = 0;
  std::vector<std::pair<const void*, size_t>> writes;
  std::vector<MoveRecord> moves;
  std::vector<std::string> listings;
  std::map<std::string, uint32_t> flushFails;                       // folded path -> error
  std::map<std::string, std::pair<uint32_t, int>> replaceFails;     // folded path -> error, times
  std::map<std::string, uint32_t> createdAs;                        // folded path -> attributes

  uint64_t Register(Node& node, uint32_t access, uint32_t share) {
    uint64_t id = nextId++;
    node.opens.emplace(id, Opening{access, share});
    return id;
  }
  void GiveBack(uint64_t bytes) {
    if (freeBytes) *freeBytes += bytes;
  }
};

struct SimFileSystem::Located {
  uint32_t error = kErrorSuccess;  // the path itself cannot be reached
  std::string full;
  std::string real;  // the full path with the folder links in it followed
  bool trailingSeparator = false;
  std::shared_ptr<Node> parent;  // the folder holding the last name (links followed)
  std::shared_ptr<Node> node;    // null when the last name does not exist
  std::string name;
  bool underFile = false;  // a file stands where a folder of the path should be
};

// ---------------------------------------------------------------- paths

namespace {

struct ParsedPath {
  bool ok = false;
  char drive = 'C';
  std::vector<std::string> parts;
  bool trailingSeparator = false;
};

ParsedPath Parse(std::string path, const std::string& currentDirectory) {
  ParsedPath parsed;
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.empty() || path.rfind("\\\\", 0) == 0) return parsed;  // no UNC paths here
  parsed.trailingSeparator = path.back() == '\\';
  std::string base;
  std::string rest;
  const char currentDrive = currentDirectory.empty() ? 'C' : currentDirectory[0];
  if (path.size() >= 2 && path[1] == ':') {
    char letter = path[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return parsed;
    parsed.drive = letter;
    rest = path.substr(2);
    if (rest.empty() || rest[0] != '\\') base = letter == currentDrive ? currentDirectory : "";
  } else if (path[0] == '\\') {
    parsed.drive = currentDrive;
    rest = path;
  } else {
    parsed.drive = currentDrive;
    base = currentDirectory;
    rest = path;
  }
  std::vector<std::string> pieces = SplitPath(base.size() > 2 ? base.substr(2) : "");
  for (const auto& piece : SplitPath(rest)) pieces.push_back(piece);
  for (const auto& piece : pieces) {
    if (piece == ".") continue;
    if (piece == "..") {
      if (!parsed.parts.empty()) parsed.parts.pop_back();
      continue;
    }
    parsed.parts.push_back(piece);
  }
  parsed.ok = true;
  return parsed;
}

std::string Join(const ParsedPath& parsed) {
  std::string full = std::string(1, parsed.drive) + ":\\";
  for (size_t i = 0; i < parsed.parts.size(); ++i) {
    if (i) full += '\\';
    full += parsed.parts[i];
  }
  return full;
}

bool ShareConflict(const std::map<uint64_t, Opening>& opens, uint32_t access, uint32_t share) {
  const bool read = (access & kGenericRead) != 0;
  const bool write = (access & kGenericWrite) != 0;
  const bool remove = (access & kDeleteAccess) != 0;
  if (!read && !write && !remove) return false;  // an open without data access is not checked
  for (const auto& entry : opens) {
    const Opening& other = entry.second;
    if (!other.DataAccess()) continue;
    if (read && !(other.share & kShareRead)) return true;
    if (write && !(other.share & kShareWrite)) return true;
    if (remove && !(other.share & kShareDelete)) return true;
    if ((other.access & kGenericRead) && !(share & kShareRead)) return true;
    if ((other.access & kGenericWrite) && !(share & kShareWrite)) return true;
    if ((other.access & kDeleteAccess) && !(share & kShareDelete)) return true;
  }
  return false;
}

// An open for DELETE sharing everything (DeleteFile, MoveFile on the source).
bool DeleteConflict(const std::map<uint64_t, Opening>& opens) {
  for (const auto& entry : opens) {
    if (entry.second.DataAccess() && !(entry.second.share & kShareDelete)) return true;
  }
  return false;
}

// Windows refuses these characters in names (and ':' outside the drive).
bool ValidName(const std::string& name, bool wildcards) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"|", c) != nullptr) return false;
    if (!wildcards && (c == '*' || c == '?')) return false;
  }
  return true;
}

// The 8.3 short name Windows makes for a long name ("" when the name is a valid
// 8.3 name and needs none): six characters of the base, "~1", three of the extension.
std::string ShortNameOf(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  const bool valid = !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
                     base.find_first_of(". +,;=[]") == std::string::npos &&
                     ext.find_first_of(" +,;=[]") == std::string::npos;
  if (valid || name == "." || name == "..") return "";
  std::string shortBase;
  for (char c : base) {
    if (shortBase.size() < 6 && c != ' ' && c != '.') shortBase += c;
  }
  std::string shortExt;
  for (char c : ext) {
    if (shortExt.size() < 3 && c != ' ') shortExt += c;
  }
  return shortBase + "~1" + (shortExt.empty() ? "" : "." + shortExt);
}

class SimFile : public File {
 public:
  SimFile(SimFileSystem& fs, std::shared_ptr<SimFileSystem::State> state, std::shared_ptr<SimFileSystem::Node> node,
          uint64_t id, uint32_t access, std::string path)
      : fs_(fs), state_(std::move(state)), node_(std::move(node)), id_(id), access_(access), path_(std::move(path)) {
    ++state_->logicHandles;
  }
  ~SimFile() override {
    node_->opens.erase(id_);
    --state_->logicHandles;
  }

  std::optional<size_t> Read(void* buffer, size_t size, uint32_t* error) override {
    uint32_t code = (access_ & kGenericRead) == 0 ? kErrorAccessDenied : node_->readError;
    if (code != kErrorSuccess && pos_ >= node_->readErrorAfter) {
      if (error) *error = code == SimFileSystem::kFailsWithoutCode ? kErrorSuccess : code;
      return std::nullopt;
    }
    if (error) *error = kErrorSuccess;
    const std::string& data = node_->data;
    if (pos_ >= data.size()) return 0;
    size_t count = std::min(size, static_cast<size_t>(data.size() - pos_));
    if (code != kErrorSuccess) {
      count = std::min(count, static_cast<size_t>(node_->readErrorAfter - pos_));
    }
    std::memcpy(buffer, data.data() + pos_, count);
    pos_ += count;
    state_->bytesRead += count;
    return count;
  }

  uint32_t Write(const void* bytes, size_t size) override {
    // A handle that may only append writes at the end, wherever it stands.
    const bool appendOnly = (access_ & kGenericWrite) == 0 && (access_ & kAppendData) != 0;
    if ((access_ & kGenericWrite) == 0 && !appendOnly) return kErrorAccessDenied;
    state_->writes.emplace_back(bytes, size);
    std::string& data = node_->data;
    if (appendOnly) pos_ = data.size();
    uint64_t end = pos_ + size;
    uint64_t growth = end > data.size() ? end - data.size() : 0;
    uint32_t result = kErrorSuccess;
    if (state_->freeBytes && growth > *state_->freeBytes) {
      // What fits lands; the rest does not.
      end = data.size() + *state_->freeBytes;
      size = end > pos_ ? static_cast<size_t>(end - pos_) : 0;
      growth = *state_->freeBytes;
      result = kErrorDiskFull;
    }
    if (state_->freeBytes) *state_->freeBytes -= growth;
    if (size > 0) {
      node_->unflushed = true;
      if (pos_ + size > data.size()) data.resize(static_cast<size_t>(pos_ + size), '\0');
      std::memcpy(&data[static_cast<size_t>(pos_)], bytes, size);
      pos_ += size;
    }
    return result;
  }

  uint32_t Seek(uint64_t offset) override {
    pos_ = offset;
    return kErrorSuccess;
  }

  std::optional<uint64_t> Size(uint32_t* error) override {
    if (error) *error = kErrorSuccess;
    return node_->data.size();
  }

  uint32_t Flush() override {
    if ((access_ & kGenericWrite) == 0) return kErrorAccessDenied;
    auto injected = state_->flushFails.find(Fold(path_));
    if (injected != state_->flushFails.end()) return injected->second;
    node_->unflushed = false;
    ++state_->flushes;
    // A flush after a rename through this handle writes the rename through.
    if (renamed_) state_->moves[*renamed_].writeThrough = true;
    return kErrorSuccess;
  }

  std::optional<uint32_t> Attributes(uint32_t* error) override {
    if (error) *error = kErrorSuccess;
    return node_->OwnAttributes();
  }

  std::optional<uint32_t> LinkCount(uint32_t* error) override {
    if (error) *error = kErrorSuccess;
    return node_->links;
  }

  bool NamedIn(Folder& folder, const std::string& name) override;
  bool OwnedByAdministrators() override { return !node_->userOwned; }

  uint32_t RenameReplacing(Folder& folder, const std::string& name) override;

  uint32_t SetDeletePending(bool pending) noexcept override {
    if ((access_ & kDeleteAccess) == 0) return kErrorAccessDenied;
    node_->deletePending = pending;
    return kErrorSuccess;
  }

 private:
  SimFileSystem& fs_;
  std::shared_ptr<SimFileSystem::State> state_;
  std::shared_ptr<SimFileSystem::Node> node_;
  uint64_t id_;
  uint32_t access_;
  std::string path_;  // the name the file has now, links followed as the open followed them
  std::optional<size_t> renamed_;  // the record of this handle's last rename
  uint64_t pos_ = 0;
};

class SimFolder : public Folder {
 public:
  SimFolder(SimFileSystem& fs, std::shared_ptr<SimFileSystem::Node> node, std::string path)
      : fs_(fs), node_(std::move(node)), path_(std::move(path)) {}
  std::unique_ptr<File> Open(const std::string& name, uint32_t access, uint32_t share,
                             Disposition disposition, uint32_t flags, uint32_t* error) override {
    return fs_.OpenIn(node_, path_, name, access, share, disposition, flags, error);
  }
  SimFileSystem::Located Named(const std::string& name) const {
    return SimFileSystem::InFolder(node_, path_, name);
  }

 private:
  SimFileSystem& fs_;
  std::shared_ptr<SimFileSystem::Node> node_;
  std::string path_;
};

bool SimFile::NamedIn(Folder& folder, const std::string& name) {
  auto* in = dynamic_cast<SimFolder*>(&folder);
  return in != nullptr && SameNoCase(in->Named(name).full, path_);
}

uint32_t SimFile::RenameReplacing(Folder& folder, const std::string& name) {
  auto* into = dynamic_cast<SimFolder*>(&folder);
  if (into == nullptr) return kErrorInvalidName;
  const SimFileSystem::Located target = into->Named(name);
  MoveRecord move{path_, target.full, true, false, !node_->unflushed, kErrorSuccess};
  move.result = (access_ & kDeleteAccess) == 0 ? kErrorAccessDenied : fs_.RenameOpen(node_, id_, target);
  state_->moves.push_back(move);
  if (move.result == kErrorSuccess) {
    path_ = target.full;
    renamed_ = state_->moves.size() - 1;
  }
  return move.result;
}

// The folder that holds `node` (links not followed); null when none does.
std::shared_ptr<SimFileSystem::Node> ParentOf(const std::shared_ptr<SimFileSystem::Node>& folder,
                                              const SimFileSystem::Node* node) {
  for (const auto& child : folder->children) {
    if (child.get() == node) return folder;
    if (child->folder && !child->IsLink()) {
      if (auto found = ParentOf(child, node)) return found;
    }
  }
  return nullptr;
}

// Whether `inner` is `outer` or lies below it (links not followed).
bool Contains(const SimFileSystem::Node& outer, const SimFileSystem::Node& inner) {
  if (&outer == &inner) return true;
  for (const auto& child : outer.children) {
    if (Contains(*child, inner)) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- held files

struct HeldFile::Core {
  std::shared_ptr<SimFileSystem::Node> node;
  uint64_t id = 0;
  bool open = true;
  void Close() {
    if (open) node->opens.erase(id);
    open = false;
  }
};

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
  if (this != &other) {
    if (!scheduled_) Release();
    core_ = std::move(other.core_);
    clock_ = other.clock_;
    scheduled_ = other.scheduled_;
  }
  return *this;
}

HeldFile::~HeldFile() {
  if (!scheduled_) Release();
}

void HeldFile::Release() {
  if (core_) core_->Close();
}

bool HeldFile::Held() const { return core_ && core_->open; }

void HeldFile::ReleaseAt(uint64_t atMs) {
  if (!core_ || !clock_) return;
  scheduled_ = true;
  std::shared_ptr<Core> core = core_;
  clock_->At(atMs, [core] { core->Close(); });
}

void HeldFile::ReleaseAfter(uint64_t ms) {
  if (clock_) ReleaseAt(clock_->NowMs() + ms);
}

// ---------------------------------------------------------------- the file system

SimFileSystem::SimFileSystem(SimClock& clock) : clock_(clock), state_(std::make_shared<State>()) {
  auto drive = std::make_shared<Node>();
  drive->folder = true;
  drive->name = "C:";
  state_->drives['C'] = drive;
}

SimFileSystem::~SimFileSystem() = default;

std::string SimFileSystem::FullPath(const std::string& path) const {
  ParsedPath parsed = Parse(Unshared(path), currentDirectory_);
  return parsed.ok ? Join(parsed) : std::string();
}

SimFileSystem::Located SimFileSystem::Locate(const std::string& path, bool pattern) const {
  Located found;
  ParsedPath parsed = Parse(Unshared(path), currentDirectory_);
  if (!parsed.ok) {
    found.error = kErrorPathNotFound;
    return found;
  }
  found.full = Join(parsed);
  found.trailingSeparator = parsed.trailingSeparator;
  for (size_t i = 0; i < parsed.parts.size(); ++i) {
    const bool last = i + 1 == parsed.parts.size();
    if (!ValidName(parsed.parts[i], pattern && last)) {
      found.error = kErrorInvalidName;
      return found;
    }
  }
  auto drive = state_->drives.find(parsed.drive);
  if (maxPath_ != 0 && found.full.size() >= maxPath_) {
    found.error = kErrorFilenameExcedRange;
    return found;
  }
  if (drive == state_->drives.end()) {
    found.error = kErrorPathNotFound;
    return found;
  }
  std::shared_ptr<Node> node = drive->second;
  std::string real = std::string(1, parsed.drive) + ":";
  for (size_t i = 0; i < parsed.parts.size(); ++i) {
    // Follow folder links; a link whose target is gone leads nowhere.
    for (int depth = 0; node && !node->linkTarget.empty(); ++depth) {
      if (depth > 31) {
        node = nullptr;
      } else {
        const Located target = Locate(node->linkTarget);
        node = target.node;
        real = target.real;
      }
    }
    if (!node || !node->folder) {
      found.error = kErrorPathNotFound;
      found.underFile = node != nullptr;
      return found;
    }
    std::shared_ptr<Node> child = node->Child(parsed.parts[i]);
    if (i + 1 == parsed.parts.size()) {
      found.parent = node;
      found.node = child;
      found.name = parsed.parts[i];
    } else if (!child) {
      found.error = kErrorPathNotFound;
      return found;
    }
    if (real.back() != '\\') real += '\\';
    real += parsed.parts[i];
    node = child;
  }
  found.real = parsed.parts.empty() ? found.full : real;
  if (parsed.parts.empty()) found.node = node;  // a drive's root
  return found;
}

SimFileSystem::Located SimFileSystem::Resolve(Located found) const {
  for (int depth = 0; found.error == kErrorSuccess && found.node && found.node->IsLink(); ++depth) {
    if (depth == kMaxLinkDepth) {
      found.error = kErrorCantResolveFilename;
      break;
    }
    found = Locate(found.node->linkTarget);
  }
  return found;
}

SimFileSystem::Located SimFileSystem::LocateByName(const std::string& path) const {
  return linksFollowedByName_ ? Resolve(Locate(path)) : Locate(path);
}

uint32_t SimFileSystem::ListedAttributes(const Node& node) const {
  // Links followed by name show what they lead to; only folder links get here.
  if (linksFollowedByName_ && node.IsLink()) return node.attrs | kAttrDirectory;
  return node.OwnAttributes();
}

std::shared_ptr<SimFileSystem::Node> SimFileSystem::MakeFolder(const std::string& path, bool lastIsLink,
                                                               const std::string& linkTarget) {
  ParsedPath parsed = Parse(Unshared(path), currentDirectory_);
  if (!parsed.ok) throw std::invalid_argument("sim: bad path " + path);
  for (const auto& part : parsed.parts) {
    if (!ValidName(part, false)) throw std::invalid_argument("sim: a name Windows refuses in " + path);
  }
  std::shared_ptr<Node>& drive = state_->drives[parsed.drive];
  if (!drive) {
    drive = std::make_shared<Node>();
    drive->folder = true;
    drive->name = std::string(1, parsed.drive) + ":";
  }
  std::shared_ptr<Node> node = drive;
  for (size_t i = 0; i < parsed.parts.size(); ++i) {
    while (!node->linkTarget.empty()) node = MakeFolder(node->linkTarget, false, "");
    std::shared_ptr<Node> child = node->Child(parsed.parts[i]);
    if (!child) {
      child = std::make_shared<Node>();
      child->name = parsed.parts[i];
      child->folder = true;
      node->children.push_back(child);
      if (i + 1 == parsed.parts.size() && lastIsLink) child->linkTarget = FullPath(linkTarget);
    }
    if (!child->folder) throw std::invalid_argument("sim: a file is in the way of " + path);
    node = child;
  }
  return node;
}

void SimFileSystem::AddFolder(const std::string& path, uint32_t attrs) {
  MakeFolder(path, false, "")->attrs = attrs & kSettableAttributes;
}

void SimFileSystem::AddFolderLink(const std::string& path, const std::string& target) {
  MakeFolder(path, true, target);
}

void SimFileSystem::AddFileLink(const std::string& path, const std::string& target) {
  std::string full = FullPath(path);
  size_t cut = full.find_last_of('\\');
  if (full.empty() || cut + 1 == full.size()) throw std::invalid_argument("sim: bad link path " + path);
  MakeFolder(full.substr(0, cut + 1), false, "");
  Located found = Locate(full);
  if (found.error || !found.parent || found.node) throw std::invalid_argument("sim: cannot add the link " + path);
  auto node = std::make_shared<Node>();
  node->name = full.substr(cut + 1);
  node->attrs = kAttrArchive;
  node->linkTarget = FullPath(target);
  found.parent->children.push_back(node);
}

void SimFileSystem::AddFile(const std::string& path, const std::string& bytes, uint32_t attrs) {
  std::string full = FullPath(path);
  size_t cut = full.find_last_of('\\');
  if (full.empty() || cut + 1 == full.size()) throw std::invalid_argument("sim: bad file path " + path);
  std::shared_ptr<Node> folder = MakeFolder(full.substr(0, cut + 1), false, "");
  Located found = Locate(full);
  if (found.error || !found.parent) throw std::invalid_argument("sim: cannot add the file " + path);
  if (found.node && found.node->folder) throw std::invalid_argument("sim: a folder is in the way of " + path);
  if (found.node && found.node->IsLink()) throw std::invalid_argument("sim: a link is in the way of " + path);
  std::shared_ptr<Node> node = found.node;
  if (!node) {
    node = std::make_shared<Node>();
    node->name = full.substr(cut + 1);
    found.parent->children.push_back(node);
  }
  node->data = bytes;
  node->attrs = attrs == kAttrNormal ? 0 : (attrs & kSettableAttributes);
}

std::optional<std::string> SimFileSystem::ReadFileBytes(const std::string& path) const {
  std::shared_ptr<Node> node = FileNode(path);
  if (!node) return std::nullopt;
  return node->data;
}

bool SimFileSystem::Exists(const std::string& path) const {
  Located found = Locate(path);
  return found.error == kErrorSuccess && found.node != nullptr;
}

bool SimFileSystem::IsLink(const std::string& path) const {
  Located found = Locate(path);
  return found.error == kErrorSuccess && found.node && found.node->IsLink();
}

void SimFileSystem::SetListOrder(const std::string& folder, const std::vector<std::string>& names) {
  Located found = Locate(folder);
  if (found.error || !found.node || !found.node->folder) throw std::invalid_argument("sim: no folder " + folder);
  auto& children = found.node->children;
  std::vector<std::shared_ptr<Node>> ordered;
  for (const auto& name : names) {
    for (auto& child : children) {
      if (child && SameNoCase(child->name, name)) {
        ordered.push_back(child);
        child = nullptr;
      }
    }
  }
  for (auto& child : children) {
    if (child) ordered.push_back(child);
  }
  children = std::move(ordered);
}

std::unique_ptr<File> SimFileSystem::Open(const std::string& path, uint32_t access, uint32_t share,
                                          Disposition disposition, uint32_t flags, uint32_t* error) {
  return OpenLocated(Locate(path), access, share, disposition, flags, error);
}

SimFileSystem::Located SimFileSystem::InFolder(const std::shared_ptr<Node>& folder, const std::string& folderPath,
                                               const std::string& name) {
  Located found;
  found.full = folderPath + (folderPath.back() == '\\' ? "" : "\\") + name;
  found.real = found.full;
  if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/") != std::string::npos ||
      !ValidName(name, false)) {
    found.error = kErrorInvalidName;
    return found;
  }
  found.parent = folder;
  found.node = folder->Child(name);
  found.name = name;
  return found;
}

std::unique_ptr<File> SimFileSystem::OpenIn(const std::shared_ptr<Node>& folder, const std::string& folderPath,
                                            const std::string& name, uint32_t access, uint32_t share,
                                            Disposition disposition, uint32_t flags, uint32_t* error) {
  return OpenLocated(InFolder(folder, folderPath, name), access, share, disposition, flags, error);
}

std::unique_ptr<Folder> SimFileSystem::OpenFolder(const std::string& path, uint32_t* error) {
  const Located found = Resolve(Locate(path));
  uint32_t code = found.error;
  if (code == kErrorSuccess && !found.node) code = kErrorFileNotFound;
  if (code == kErrorSuccess && !found.node->folder) code = kErrorDirectory;
  if (error) *error = code;
  if (code != kErrorSuccess) return nullptr;
  return std::make_unique<SimFolder>(*this, found.node, found.real);
}

uint32_t SimFileSystem::CreateAdminFolder(const std::string& path) {
  const Located found = Locate(path);
  if (found.error) return found.error;
  if (found.node) return kErrorAlreadyExists;
  if (!found.parent) return kErrorPathNotFound;
  MakeFolder(path, false, "")->adminFolder = true;
  return kErrorSuccess;
}

bool SimFileSystem::IsAdminFolder(const std::string& path) const {
  const Located found = Locate(path);
  return found.error == kErrorSuccess && found.node && found.node->adminFolder;
}

void SimFileSystem::AddShare(const std::string& share, const std::string& folder) {
  shares_[Fold(share)] = FullPath(folder);
}

std::string SimFileSystem::Unshared(const std::string& path) const {
  for (const auto& [share, folder] : shares_) {
    if (path.size() > share.size() && path[share.size()] == '\\' && Fold(path.substr(0, share.size())) == share)
      return folder + (folder.back() == '\\' ? "" : "\\") + path.substr(share.size() + 1);
  }
  return path;
}

void SimFileSystem::SetOwnedByUser(const std::string& path) {
  auto node = FileNode(path);
  if (!node) throw std::invalid_argument("sim: no file " + path);
  node->userOwned = true;
}

std::unique_ptr<File> SimFileSystem::OpenLocated(Located found, uint32_t access, uint32_t share,
                                                 Disposition disposition, uint32_t flags, uint32_t* error) {
  auto fail = [error](uint32_t code) -> std::unique_ptr<File> {
    if (error) *error = code;
    return nullptr;
  };
  if (found.error) return fail(found.error);
  auto injected = openFails_.find(Fold(found.full));
  if (injected != openFails_.end()) return fail(injected->second);
  if (found.node && found.node->IsLink()) {
    // Windows opens the link itself when told not to follow it; Wine cannot
    // be told. A create-new refuses the name either way.
    const bool itself = !linksFollowedByName_ && (flags & kOpenReparsePoint) != 0;
    if (disposition == Disposition::CreateNew && (itself || linksFollowedByName_)) {
      return fail(kErrorFileExists);
    }
    if (!itself) {
      found = Resolve(found);
      if (found.error) return fail(found.error);
    }
  }
  std::shared_ptr<Node> node = found.node;
  if (node) {
    // A name deleted through a handle that is still open cannot be opened or made anew.
    if (node->deletePending) return fail(kErrorAccessDenied);
    if (node->folder) return fail(disposition == Disposition::CreateNew ? kErrorFileExists : kErrorAccessDenied);
    if (found.trailingSeparator) return fail(kErrorInvalidName);
    if (disposition == Disposition::CreateNew) return fail(kErrorFileExists);
    const bool overwrite = disposition == Disposition::CreateAlways;
    if ((node->attrs & kAttrReadOnly) && ((access & kGenericWrite) || overwrite)) return fail(kErrorAccessDenied);
    // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL refuses a hidden or system file.
    if (overwrite && (node->attrs & (kAttrHidden | kAttrSystem))) return fail(kErrorAccessDenied);
    if (ShareConflict(node->opens, access, share)) return fail(kErrorSharingViolation);
    if (overwrite) {
      state_->GiveBack(node->data.size());
      node->data.clear();
      node->attrs = kAttrArchive;
      node->program = false;
      node->versionBlock.reset();
    }
  } else {
    if (disposition == Disposition::OpenExisting) return fail(kErrorFileNotFound);
    if (!found.parent || found.trailingSeparator) return fail(kErrorPathNotFound);
    node = std::make_shared<Node>();
    node->name = found.name;
    node->attrs = kAttrArchive;
    auto made = state_->createdAs.find(Fold(found.full));
    if (made != state_->createdAs.end()) node->attrs = made->second;
    found.parent->children.push_back(node);
  }
  if (error) *error = kErrorSuccess;
  uint64_t id = state_->Register(*node, access, share);
  return std::make_unique<SimFile>(*this, state_, node, id, access, found.real);
}

std::optional<uint32_t> SimFileSystem::Attributes(const std::string& path) {
  Located found = LocateByName(path);
  if (found.error || !found.node) return std::nullopt;
  if (found.trailingSeparator && !found.node->folder) return std::nullopt;
  return ListedAttributes(*found.node);
}

uint32_t SimFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Located found = LocateByName(path);
  if (found.error) return found.error;
  if (!found.node) return kErrorFileNotFound;
  found.node->attrs = attributes & kSettableAttributes;
  return kErrorSuccess;
}

uint32_t SimFileSystem::Delete(const std::string& path) {
  Located found = LocateByName(path);
  if (found.error) return found.error;
  if (!found.node) return kErrorFileNotFound;
  if (found.node->folder || (found.node->attrs & kAttrReadOnly)) return kErrorAccessDenied;
  if (DeleteConflict(found.node->opens)) return kErrorSharingViolation;
  // Handles that shared deletion keep the file's content; its name is gone at once.
  state_->GiveBack(found.node->data.size());
  found.parent->Remove(found.node.get());
  auto action = onDeleted_.find(Fold(FullPath(path)));
  if (action != onDeleted_.end()) {
    const std::function<void()> run = action->second;  // the action may replace itself
    run();
  }
  return kErrorSuccess;
}

uint32_t SimFileSystem::RemoveFolder(const std::string& path) {
  const Located named = Locate(path);
  const Located found = linksFollowedByName_ ? Resolve(named) : named;
  if (found.error) return found.error;
  if (!found.node) return kErrorFileNotFound;
  if (!found.node->folder) return kErrorDirectory;
  if (!found.parent) return kErrorAccessDenied;  // a drive's root
  if (!found.node->IsLink() && !found.node->children.empty()) return kErrorDirNotEmpty;
  found.parent->Remove(found.node.get());
  // Wine removes the link to the folder it removed as well.
  if (named.node != found.node && named.parent) named.parent->Remove(named.node.get());
  return kErrorSuccess;
}

uint32_t SimFileSystem::Move(const std::string& from, const std::string& to) {
  return Record(from, to, false);
}

uint32_t SimFileSystem::MoveReplace(const std::string& from, const std::string& to) {
  return Record(from, to, true);
}

uint32_t SimFileSystem::Record(const std::string& from, const std::string& to, bool replace) {
  MoveRecord move{from, to, replace, replace, false, kErrorSuccess};
  const std::shared_ptr<Node> source = FileNode(from);
  move.sourceFlushed = source && !source->unflushed;
  move.result = Rename(from, to, replace);
  state_->moves.push_back(move);
  return move.result;
}

uint32_t SimFileSystem::Rename(const std::string& from, const std::string& to, bool replace) {
  Located source = LocateByName(from);  // the target's name is never followed
  if (source.error) return source.error;
  if (!source.node || !source.parent) return kErrorFileNotFound;
  if (DeleteConflict(source.node->opens)) return kErrorSharingViolation;
  Located target = Locate(to);
  if (target.error) return target.error;
  if (!target.parent || Contains(*source.node, *target.parent)) return kErrorAccessDenied;
  if (target.node && target.node != source.node) {
    if (!replace) return kErrorAlreadyExists;
    // The old file must go: not a folder, not read-only, and nobody may have it open.
    if (source.node->folder || target.node->folder || (target.node->attrs & kAttrReadOnly) ||
        !target.node->opens.empty()) {
      return kErrorAccessDenied;
    }
    state_->GiveBack(target.node->data.size());
    target.parent->Remove(target.node.get());
  }
  source.parent->Remove(source.node.get());
  source.node->name = target.name;
  target.parent->children.push_back(source.node);
  return kErrorSuccess;
}

std::vector<DirEntry> SimFileSystem::List(const std::string& pattern, uint32_t* error) {
  std::vector<DirEntry> entries;
  auto fail = [&](uint32_t code) {
    if (error) *error = code;
    return std::vector<DirEntry>();
  };
  state_->listings.push_back(pattern);
  Located found = Locate(pattern, true);
  if (found.error) return fail(found.underFile ? kErrorDirectory : found.error);
  if (found.trailingSeparator || !found.parent) return fail(kErrorFileNotFound);
  std::shared_ptr<Node> folder = found.parent;  // links already followed
  if (folder->listError) return fail(folder->listError);
  const bool driveRoot = found.full.find('\\') == found.full.find_last_of('\\');
  if (!driveRoot) {
    for (const char* dots : {".", ".."}) {
      if (WildcardMatch(found.name, dots)) entries.push_back(DirEntry{dots, kAttrDirectory, 0});
    }
  }
  for (const auto& child : folder->children) {
    if (child->Gone()) continue;
    const std::string shortName = shortNames_ ? ShortNameOf(child->name) : "";
    if (WildcardMatch(found.name, child->name) || (!shortName.empty() && WildcardMatch(found.name, shortName))) {
      std::shared_ptr<Node> shown = child;
      if (linksFollowedByName_ && child->IsLink()) {
        shown = Resolve(Locate(found.full.substr(0, found.full.find_last_of('\\') + 1) + child->name)).node;
        if (!shown) continue;  // leads nowhere
      }
      // A link of its own is listed with its own size, which is none.
      const uint64_t size = shown->folder ? 0 : shown->listedSize.value_or(shown->IsLink() ? 0 : shown->data.size());
      entries.push_back(DirEntry{child->name, ListedAttributes(*shown), size});
    }
  }
  if (entries.empty()) return fail(kErrorFileNotFound);
  if (error) *error = kErrorSuccess;
  return entries;
}

uint32_t SimFileSystem::SetCurrentDirectory(const std::string& path) {
  Located found = Locate(path);
  if (found.error) return found.error;
  if (!found.node) return kErrorFileNotFound;
  if (!found.node->folder) return kErrorDirectory;
  currentDirectory_ = found.full;
  return kErrorSuccess;
}

uint32_t SimFileSystem::RenameOpen(const std::shared_ptr<Node>& node, uint64_t id, const Located& target) {
  if (target.error) return target.error;
  auto injected = state_->replaceFails.find(Fold(target.full));
  if (injected != state_->replaceFails.end() && injected->second.second > 0) {
    --injected->second.second;
    return injected->second.first;
  }
  // Every other handle of the file must share deletion.
  for (const auto& entry : node->opens) {
    if (entry.first != id && entry.second.DataAccess() && !(entry.second.share & kShareDelete)) {
      return kErrorSharingViolation;
    }
  }
  std::shared_ptr<Node> parent;
  for (const auto& drive : state_->drives) {
    if (!parent) parent = ParentOf(drive.second, node.get());
  }
  if (!parent) return kErrorFileNotFound;
  if (target.node && target.node != node) {
    // The old file must go: not a folder, not read-only; a handle that does
    // not share deletion keeps it, and so does any other open one.
    if (target.node->folder || (target.node->attrs & kAttrReadOnly)) return kErrorAccessDenied;
    if (DeleteConflict(target.node->opens)) return kErrorSharingViolation;
    if (!target.node->opens.empty()) return kErrorAccessDenied;
    state_->GiveBack(target.node->data.size());
    target.parent->Remove(target.node.get());
  }
  parent->Remove(node.get());
  node->name = target.name;
  target.parent->children.push_back(node);
  return kErrorSuccess;
}

// ---------------------------------------------------------------- other processes, failures

HeldFile SimFileSystem::HoldOpen(const std::string& path, uint32_t access, uint32_t share) {
  Located found = Resolve(Locate(path));
  if (found.error || !found.node || found.node->folder) throw std::invalid_argument("sim: no file to hold " + path);
  auto core = std::make_shared<HeldFile::Core>();
  core->node = found.node;
  core->id = state_->Register(*found.node, access, share);
  return HeldFile(core, &clock_);
}

size_t SimFileSystem::OpenHandleCount(const std::string& path) const {
  Located found = Locate(path);
  return found.error || !found.node ? 0 : found.node->opens.size();
}

size_t SimFileSystem::LogicHandleCount() const { return state_->logicHandles; }
const std::vector<MoveRecord>& SimFileSystem::Moves() const { return state_->moves; }
const std::vector<std::string>& SimFileSystem::Listings() const { return state_->listings; }

void SimFileSystem::OnDeleted(const std::string& path, std::function<void()> action) {
  if (action) onDeleted_[Fold(FullPath(path))] = std::move(action);
  else onDeleted_.erase(Fold(FullPath(path)));
}
size_t SimFileSystem::FlushCount() const { return state_->flushes; }
uint64_t SimFileSystem::BytesRead() const { return state_->bytesRead; }
const std::vector<std::pair<const void*, size_t>>& SimFileSystem::Writes() const {
  return state_->writes;
}

void SimFileSystem::SetDiskFree(std::optional<uint64_t> freeBytes) { state_->freeBytes = freeBytes; }
std::optional<uint64_t> SimFileSystem::DiskFree() const { return state_->freeBytes; }

void SimFileSystem::ListFails(const std::string& folder, uint32_t error) {
  MakeFolder(folder, false, "")->listError = error;
}

void SimFileSystem::OpenFails(const std::string& path, uint32_t error) {
  if (error == kErrorSuccess) openFails_.erase(Fold(FullPath(path)));
  else openFails_[Fold(FullPath(path))] = error;
}

std::shared_ptr<SimFileSystem::Node> SimFileSystem::FileNode(const std::string& path) const {
  Located found = Resolve(Locate(path));
  if (found.error || !found.node || found.node->folder || found.trailingSeparator) return nullptr;
  return found.node;
}

void SimFileSystem::FlushFails(const std::string& path, uint32_t error) {
  if (error == kErrorSuccess) state_->flushFails.erase(Fold(FullPath(path)));
  else state_->flushFails[Fold(FullPath(path))] = error;
}

void SimFileSystem::ReplaceFails(const std::string& path, uint32_t error, int times) {
  state_->replaceFails[Fold(FullPath(path))] = {error, times};
}

void SimFileSystem::CreatedAs(const std::string& path, uint32_t attributes) {
  state_->createdAs[Fold(FullPath(path))] = attributes;
}

void SimFileSystem::SetLinkCount(const std::string& path, uint32_t links) {
  auto node = FileNode(path);
  if (!node) throw std::invalid_argument("sim: no file " + path);
  node->links = links;
}

void SimFileSystem::ReadFails(const std::string& path, uint32_t error, uint64_t afterBytes) {
  auto node = FileNode(path);
  if (!node) throw std::invalid_argument("sim: no file " + path);
  node->readError = error;
  node->readErrorAfter = afterBytes;
}

void SimFileSystem::SetListedSize(const std::string& path, uint64_t size) {
  auto node = FileNode(path);
  if (!node) throw std::invalid_argument("sim: no file " + path);
  node->listedSize = size;
}

void SimFileSystem::SetProgram(const std::string& path, bool isProgram) {
  auto node = FileNode(path);
  if (!node) throw std::invalid_argument("sim: no file " + path);
  node->program = isProgram;
}

bool SimFileSystem::IsProgram(const std::string& path) {
  auto node = FileNode(path);
  return node && node->program;
}

std::optional<std::string> SimFileSystem::VersionBlock(const std::string& path) {
  auto node = FileNode(path);
  return node ? node->versionBlock : std::nullopt;
}

void SimFileSystem::SetVersionBlock(const std::string& path, const std::string& block) {
  auto node = FileNode(path);
  if (!node) throw std::invalid_argument("sim: no file " + path);
  node->versionBlock = block;
}

}  // namespace orfa::sim
