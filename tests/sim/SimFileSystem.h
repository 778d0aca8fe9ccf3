// Simulated files and folders with the Windows rules the logic meets:
// drive-letter paths with "\" (or "/"), UNC paths of the shares added,
// names that ignore case (ASCII letters),
// relative paths against a current directory, share modes, the read-only
// attribute, MoveFile and MoveFileEx(REPLACE_EXISTING), FindFirstFile listings
// with "." and "..", folder links, the ANSI path limit of MAX_PATH (260 and
// more: ERROR_FILENAME_EXCED_RANGE), a disk that can fill up, and version
// resources of programs. Some rules worth knowing:
// - an open fails with ERROR_SHARING_VIOLATION when its access clashes with the
//   share mode of a handle already open, or its share mode with that handle's
//   access; opens without read or write access take no part;
// - CREATE_ALWAYS refuses a read-only, hidden or system file (ERROR_ACCESS_DENIED);
// - Delete needs every open handle to share deletion; the name goes at once,
//   handles keep the content;
// - MoveReplace refuses a target that is read-only, a folder, or open at all;
//   it writes through, Move does not;
// - written bytes count as on the disk only after a Flush of their file
//   (Moves() tells whether a moved file had been flushed);
// - links to files, as Windows treats a symbolic link: attributes, listings,
//   Delete, SetAttributes, RemoveFolder and moves act on the link itself and
//   the attributes carry FILE_ATTRIBUTE_REPARSE_POINT; an open follows it
//   (a create through a link that leads nowhere makes its target) unless
//   kOpenReparsePoint opens the link itself, and then a create-new refuses it.
//   SetLinksFollowedByName(true) treats links, files' and folders' alike, as
//   Wine treats a Unix symbolic link instead: every call by name acts on what
//   the link leads to (a link that leads nowhere is not there, and listings
//   leave it out), except that a create-new refuses the name all the same
//   and a replacing move onto the link replaces the link itself;
// - an open file can be renamed over another (File::RenameReplacing), which
//   needs DELETE access, every other handle of it to share deletion, and a
//   target that is no folder, not read-only and not open (a handle that does
//   not share deletion: ERROR_SHARING_VIOLATION, any other: ERROR_ACCESS_DENIED);
// - a file deleted through its handle (File::SetDeletePending) stays while any
//   handle is open, refusing every open of its name (ERROR_ACCESS_DENIED);
// - an open folder (OpenFolder, links at it followed) opens and takes renames
//   by name in the folder it opened, wherever its path leads afterwards;
// - files are owned by the Administrators group unless SetOwnedByUser says
//   otherwise; CreateAdminFolder marks the folder it makes (IsAdminFolder).
//
// Only drive C: exists at first, empty. Test helpers that are misused (a file
// under a file, a missing file to hold) throw std::invalid_argument.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace orfa::sim {

class SimClock;

// A handle that "another process" keeps open on a file (SimFileSystem::HoldOpen).
// Closes when destroyed or released, unless its release was handed to the clock.
class HeldFile {
 public:
  struct Core;
  HeldFile() = default;
  HeldFile(std::shared_ptr<Core> core, SimClock* clock) : core_(std::move(core)), clock_(clock) {}
  HeldFile(HeldFile&&) noexcept = default;
  HeldFile& operator=(HeldFile&& other) noexcept;
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  ~HeldFile();

  void Release();
  bool Held() const;
  // Closes the handle when the simulated clock reaches atMs (or after ms from now).
  // From then on the clock owns the handle: destroying this token does not close it.
  void ReleaseAt(uint64_t atMs);
  void ReleaseAfter(uint64_t ms);

 private:
  std::shared_ptr<Core> core_;
  SimClock* clock_ = nullptr;
  bool scheduled_ = false;
};

// One MoveFile or MoveFileEx as the logic made it.
struct MoveRecord {
  std::string from;
  std::string to;
  bool replace = false;        // MOVEFILE_REPLACE_EXISTING
  bool writeThrough = false;   // MOVEFILE_WRITE_THROUGH
  bool sourceFlushed = false;  // everything written to the file was flushed before
  uint32_t result = kErrorSuccess;
};

struct VersionTranslation {
  uint16_t language;
  uint16_t codePage;
};

class SimFileSystem : public FileSystem {
 public:
  explicit SimFileSystem(SimClock& clock);
  ~SimFileSystem() override;

  // --- the seam
  using FileSystem::Open;
  std::unique_ptr<File> Open(const std::string& path, uint32_t access, uint32_t share, Disposition disposition,
                             uint32_t flags, uint32_t* error) override;
  std::unique_ptr<Folder> OpenFolder(const std::string& path, uint32_t* error) override;
  uint32_t CreateAdminFolder(const std::string& path) override;
  std::optional<uint32_t> Attributes(const std::string& path) override;
  uint32_t SetAttributes(const std::string& path, uint32_t attributes) override;
  uint32_t Delete(const std::string& path) override;
  uint32_t RemoveFolder(const std::string& path) override;
  uint32_t Move(const std::string& from, const std::string& to) override;
  uint32_t MoveReplace(const std::string& from, const std::string& to) override;
  std::vector<DirEntry> List(const std::string& pattern, uint32_t* error) override;
  uint32_t SetCurrentDirectory(const std::string& path) override;
  std::string SystemDirectory() override { return systemDirectory_; }
  std::string WindowsDirectory() override { return windowsDirectory_; }
  bool IsProgram(const std::string& path) override;
  std::optional<std::string> VersionBlock(const std::string& path) override;
  std::optional<std::string> VersionValue(const std::string& block, const std::string& subBlock) override;

  // --- for tests: content
  // Adds or replaces a file, making missing parent folders. attrs 0 reads back as FILE_ATTRIBUTE_NORMAL.
  void AddFile(const std::string& path, const std::string& bytes = "", uint32_t attrs = kAttrArchive);
  void AddFolder(const std::string& path, uint32_t attrs = 0);  // and its missing parents
  // A folder link (reparse point) whose content is that of the target folder; a
  // link to one of its own ancestors makes an endless tree.
  void AddFolderLink(const std::string& path, const std::string& target);
  // A link to a file, which need not exist.
  void AddFileLink(const std::string& path, const std::string& target);
  // "\\server\share" stands for the local folder, as a share of it would.
  void AddShare(const std::string& share, const std::string& folder);
  // Calls by name act on what links lead to, as Wine's do (see above). Off at first.
  void SetLinksFollowedByName(bool on) { linksFollowedByName_ = on; }
  // Through links; nullopt: no such file.
  std::optional<std::string> ReadFileBytes(const std::string& path) const;
  bool Exists(const std::string& path) const;  // file, folder or link
  bool IsLink(const std::string& path) const;  // a link of either kind stands at the name
  std::string FullPath(const std::string& path) const;  // as GetFullPathName would give it
  std::string CurrentDirectory() const { return currentDirectory_; }
  // Puts the named entries of a folder first, in this order (listings follow it).
  void SetListOrder(const std::string& folder, const std::vector<std::string>& names);
  void SetSystemDirectory(const std::string& path) { systemDirectory_ = path; }
  void SetWindowsDirectory(const std::string& path) { windowsDirectory_ = path; }
  void SetMaxPath(size_t limit) { maxPath_ = limit; }  // 0: no limit; default 260
  // Listings also match patterns against generated 8.3 short names, as volumes
  // with short names do ("*.lng" then finds "x.lngx", short name X~1.LNG). Off at first.
  void SetShortNames(bool on) { shortNames_ = on; }

  // --- for tests: other processes and failures
  HeldFile HoldOpen(const std::string& path, uint32_t access, uint32_t share);
  size_t OpenHandleCount(const std::string& path) const;  // the logic's and held ones
  size_t LogicHandleCount() const;                        // files the logic holds open now
  const std::vector<MoveRecord>& Moves() const;           // every Move and MoveReplace, in order
  const std::vector<std::string>& Listings() const;       // the pattern of every List, in order
  // Runs `action` after each Delete of this path that succeeds (another
  // program putting something there again, say).
  void OnDeleted(const std::string& path, std::function<void()> action);
  size_t FlushCount() const;                              // File::Flush calls that succeeded
  // Where the bytes of each File::Write came from, and how many, in order.
  const std::vector<std::pair<const void*, size_t>>& Writes() const;
  uint64_t BytesRead() const;  // by every File::Read so far
  // Free bytes left on every drive: a Write that grows files beyond it writes what
  // fits and fails with ERROR_DISK_FULL. Truncation and deletion give space back.
  void SetDiskFree(std::optional<uint64_t> freeBytes);
  std::optional<uint64_t> DiskFree() const;
  void ListFails(const std::string& folder, uint32_t error = kErrorAccessDenied);  // FindFirstFile fails
  void OpenFails(const std::string& path, uint32_t error);  // CreateFile of this path fails; 0 ends it
  // File::Flush of a file opened by this name fails with `error`; 0 ends it.
  void FlushFails(const std::string& path, uint32_t error);
  // The next `times` renames through a handle onto this name fail with `error`.
  void ReplaceFails(const std::string& path, uint32_t error, int times);
  // A file that an open creates at this name gets these attributes (as if
  // the system had made something else there).
  void CreatedAs(const std::string& path, uint32_t attributes);
  // The file's owner is a user, not the Administrators group.
  void SetOwnedByUser(const std::string& path);
  bool IsAdminFolder(const std::string& path) const;  // made by CreateAdminFolder
  // The number of names the file has, as if it had others elsewhere.
  void SetLinkCount(const std::string& path, uint32_t links);
  // ReadFile on this file fails once the file position reaches afterBytes
  // (from the start by default); 0 ends it. kFailsWithoutCode: it fails and
  // leaves the error code 0.
  void ReadFails(const std::string& path, uint32_t error, uint64_t afterBytes = 0);
  static constexpr uint32_t kFailsWithoutCode = 0xFFFFFFFF;
  // The size a listing reports for the file, for sizes too large to hold.
  void SetListedSize(const std::string& path, uint64_t size);

  // --- for tests: version resources of an existing file (they go with it when it
  // moves, and are gone when it is deleted or overwritten by CREATE_ALWAYS)
  void SetProgram(const std::string& path, bool isProgram = true);
  void SetVersionInfo(const std::string& path, const std::vector<VersionTranslation>& translations,
                      const std::map<std::string, std::string>& strings);  // "StringFileInfo\\040904b0\\FileVersion" -> text

  struct Node;
  struct State;
  struct Located;
  // For the open files: File::RenameReplacing of the open `node` (handle
  // `id`) to `target`, a name in an open folder.
  uint32_t RenameOpen(const std::shared_ptr<Node>& node, uint64_t id, const Located& target);
  // For the open folders: Folder::Open of `name` in `folder`, whose full
  // path (links followed) is `folderPath`.
  std::unique_ptr<File> OpenIn(const std::shared_ptr<Node>& folder, const std::string& folderPath,
                               const std::string& name, uint32_t access, uint32_t share,
                               Disposition disposition, uint32_t flags, uint32_t* error);
  // What a name in an open folder stands for.
  static Located InFolder(const std::shared_ptr<Node>& folder, const std::string& folderPath,
                          const std::string& name);

 private:
  std::unique_ptr<File> OpenLocated(Located found, uint32_t access, uint32_t share,
                                    Disposition disposition, uint32_t flags, uint32_t* error);
  // pattern: the last name may hold the wildcards "*" and "?".
  Located Locate(const std::string& path, bool pattern = false) const;
  // What a link at the last name leads to, as far as links go (31 at most).
  Located Resolve(Located found) const;
  // As calls by name see it: the link itself, or what it leads to (SetLinksFollowedByName).
  Located LocateByName(const std::string& path) const;
  uint32_t ListedAttributes(const Node& node) const;
  uint32_t Rename(const std::string& from, const std::string& to, bool replace);
  uint32_t Record(const std::string& from, const std::string& to, bool replace);  // Rename, recorded
  std::shared_ptr<Node> FileNode(const std::string& path) const;  // null: no such file
  void SetVersionBlock(const std::string& path, const std::string& block);
  std::shared_ptr<Node> MakeFolder(const std::string& full, bool lastIsLink, const std::string& linkTarget);

  SimClock& clock_;
  std::shared_ptr<State> state_;
  std::string currentDirectory_ = "C:\\";
  std::string systemDirectory_ = "C:\\WINDOWS\\system32";
  std::string windowsDirectory_ = "C:\\WINDOWS";
  size_t maxPath_ = 260;
  bool shortNames_ = false;
  bool linksFollowedByName_ = false;
  std::map<std::string, uint32_t> openFails_;
  std::map<std::string, std::string> shares_;  // folded share -> local folder
  std::string Unshared(const std::string& path) const;  // the local path of a share's
  std::map<std::string, std::function<void()>> onDeleted_;
};

}  // namespace orfa::sim
