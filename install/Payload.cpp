// Writing a resource of the own executable to a file: directly, or through
// the checked replacement that compares versions and asks before an older
// file replaces a newer one.
#include "install/Payload.h"
#include "install/Versions.h"

#include <exception>

#include "lang/Lang.h"
#include "platform/Failure.h"
#include "ui/ProgressWindow.h"

namespace orfa {

namespace {

// "Не удается установить файл " in Windows-1251.
const char kCantInstallRu[] =
    "\xCD\xE5 \xF3\xE4\xE0\xE5\xF2\xF1\xFF \xF3\xF1\xF2\xE0\xED\xEE\xE2\xE8\xF2\xFC "
    "\xF4\xE0\xE9\xEB ";
const char kCantInstallEn[] = "Can't install file ";

// The question before an older file replaces a newer one, built in; the
// Russian pieces in Windows-1251.
const char kSoundQuestionRu[] = "\xD0\xE5\xE7\xEE\xED\xED\xFB\xE9 \xE2\xEE\xEF\xF0\xEE\xF1";
const char kOlderFileRu1[] =
    "\xD3\xF1\xF2\xE0\xED\xE0\xE2\xEB\xE8\xE2\xE0\xE5\xEC\xFB\xE9 \xF4\xE0\xE9\xEB ";
const char kOlderFileRu2[] =
    "\xE1\xEE\xEB\xE5\xE5 \xF1\xF2\xE0\xF0\xEE\xE9 \xE2\xE5\xF0\xF1\xE8\xE8, \xF7\xE5\xEC "
    "\xF3\xE6\xE5 \xF3\xF1\xF2\xE0\xED\xEE\xE2\xEB\xE5\xED\xED\xFB\xE9.\r\n\r\n"
    "\xC4\xE5\xE9\xF1\xF2\xE2\xE8\xF2\xE5\xEB\xFC\xED\xEE \xEB\xE8 \xC2\xFB \xF5\xEE\xF2\xE8"
    "\xF2\xE5 \xE7\xE0\xEC\xE5\xED\xE8\xF2\xFC \xF3\xE6\xE5 \xE8\xEC\xE5\xFE\xF9\xE8\xE9\xF1"
    "\xFF\r\n"
    "\xF4\xE0\xE9\xEB \xE2\xE5\xF0\xF1\xE8\xE8 ";
const char kOlderFileRu3[] =
    " \xED\xE0 \xE1\xEE\xEB\xE5\xE5 \xF1\xF2\xE0\xF0\xFB\xE9 \xE2\xE5\xF0\xF1\xE8\xE8 ";
const char kSoundQuestionEn[] = "Sound question";
constexpr uint16_t kLanguageRussian = 0x19;

bool IsCheckedType(const std::string& type) {
  return type == "pak" || type == "3bs" || type == "lng" || type == "cok";
}

// The names the installer makes beside a target, tried in this order:
// "~orfm.cok", "~~orfm.cok", "~~~orfm.cok", "~~~~orfm.cok". One that stands
// taken by what the installer must not remove is passed over.
constexpr int kOwnNames = 4;

// True when the open file is a plain file that the installer may have made:
// no folder, no link, not read-only, and its only name.
bool IsPlainFile(File& file) {
  uint32_t error = 0;
  const std::optional<uint32_t> attributes = file.Attributes(&error);
  const std::optional<uint32_t> links = file.LinkCount(&error);
  return attributes && links && *links == 1 &&
         (*attributes & (kAttrDirectory | kAttrReparsePoint | kAttrReadOnly)) == 0;
}

// Deletes what stands at `name` in the target's folder when it is a plain
// file of the installer's own kind (a killed run's leftover), through a
// handle that does not follow a link there and lets nobody else delete or
// swap it meanwhile. Anything else is left alone, and so is a file that
// the system names otherwise (one elsewhere that a link there led to). The
// name may stay delete-pending while another program has the file open.
void RemoveOwnLeftover(Folder& folder, const std::string& name) {
  uint32_t error = 0;
  std::unique_ptr<File> file = folder.Open(name, kDeleteAccess | kReadAttributes, kShareRead | kShareWrite,
                                           Disposition::OpenExisting, kOpenReparsePoint, &error);
  if (file && IsPlainFile(*file) && file->NamedIn(folder, name)) file->SetDeletePending(true);
}

// The file of this run beside the target, held from its creation until it
// stands at the target's name: nobody else can delete, move or swap it
// meanwhile. It is marked for deletion whenever it is not being put in
// place, so that the system deletes it when the process ends at any moment
// before, killed or not. Unless it has been put in place it is deleted
// through its own handle when destroyed, which neither allocates nor throws.
class OwnFile {
 public:
  OwnFile() = default;
  OwnFile(const OwnFile&) = delete;
  OwnFile& operator=(const OwnFile&) = delete;
  ~OwnFile() {
    if (file_ && !placed_) file_->SetDeletePending(true);
  }
  // Creates it under the first name beside the target that is free, after
  // removing the installer's own leftovers at every such name.
  void Create(const Target& target, uint32_t share);
  File& Open() { return *file_; }
  const std::string& Path() const { return path_; }
  void Placed() { placed_ = true; }

 private:
  std::unique_ptr<File> file_;
  std::string path_;
  bool placed_ = false;
};

void OwnFile::Create(const Target& target, uint32_t share) {
  std::string names[kOwnNames];
  for (int i = 0; i < kOwnNames; ++i) {
    names[i] = TempNameFor(i == 0 ? target.name : names[i - 1]);
    RemoveOwnLeftover(target.folder, names[i]);
  }
  const std::string folderPath = target.path.substr(0, target.path.size() - target.name.size());
  uint32_t taken = kErrorFileExists;
  for (const std::string& name : names) {
    uint32_t error = 0;
    std::unique_ptr<File> file = target.folder.Open(name, kGenericRead | kGenericWrite | kDeleteAccess, share,
                                                    Disposition::CreateNew, kOpenReparsePoint, &error);
    if (file) {
      // Something that is not a plain file came into being: not this
      // run's to write or delete.
      if (!IsPlainFile(*file)) continue;
      error = file->SetDeletePending(true);
      if (error != kErrorSuccess) throw FileFailure("Cannot mark file " + folderPath + name, error);
      file_ = std::move(file);
      path_ = folderPath + name;
      return;
    }
    // A file, a link or a folder there, or a name still marked for deletion
    // that another program holds open ("access denied"): taken.
    if (error != kErrorFileExists && error != kErrorAlreadyExists && error != kErrorAccessDenied)
      throw FileFailure("Cannot create file " + folderPath + name, error);
    taken = error;
  }
  throw FileFailure("Every name beside " + target.path + " is taken", taken);
}

// Writes the bytes, straight from the resource's memory, into the run's own
// file beside the target and flushes them to the disk.
void WriteOwnFile(OwnFile& own, const Target& target, const ResourceData& bytes, uint32_t share) {
  own.Create(target, share);
  uint32_t error = own.Open().Write(bytes.Data(), bytes.Size());
  if (error != kErrorSuccess) throw FileFailure("Cannot write file " + own.Path(), error);
  error = own.Open().Flush();
  if (error != kErrorSuccess) throw FileFailure("Cannot flush file " + own.Path(), error);
}

// What stands at the target's name, opened itself (a link is not followed),
// for its attributes or, with kGenericRead and no sharing, to see whether
// another program has it open.
std::unique_ptr<File> OpenTarget(const Target& target, uint32_t access, uint32_t share, uint32_t* error) {
  return target.folder.Open(target.name, access, share, Disposition::OpenExisting, kOpenReparsePoint, error);
}

// True when a refused replacement met a target that another program has open.
bool TargetInUse(const Target& target, uint32_t error) {
  if (error == kErrorSharingViolation || error == kErrorLockViolation) return true;
  uint32_t probe = 0;
  OpenTarget(target, kGenericRead, kShareNone, &probe);
  return probe == kErrorSharingViolation;
}

// Renames the run's own file over the target through its handle, then
// flushes through the same handle so that the rename is on the disk, as a
// move written through would be. A rename refused while another program
// has the target open ("access denied" even where it shares everything, or
// a sharing violation) is tried again as `wait` allows; only then does it
// count as the file in use, or as a failure.
void PutInPlace(SetupContext& ctx, OwnFile& own, const Target& target, const InUseWait& wait) {
  // A read-only file is not overwritten, as creating it anew would refuse;
  // not every system's replacing rename keeps to that.
  {
    uint32_t error = 0;
    const std::unique_ptr<File> old = OpenTarget(target, kReadAttributes, kShareRead | kShareWrite | kShareDelete, &error);
    const std::optional<uint32_t> attributes = old ? old->Attributes(&error) : std::nullopt;
    if (attributes && (*attributes & kAttrReadOnly) != 0)
      throw FileFailure("File is read-only: " + target.path, kErrorAccessDenied);
  }
  for (int attempt = 1;; ++attempt) {
    // Marked for deletion again while it waits, so that a run killed then
    // leaves nothing.
    const uint32_t kept = own.Open().SetDeletePending(false);
    if (kept != kErrorSuccess) throw FileFailure("Cannot keep file " + own.Path(), kept);
    const uint32_t error = own.Open().RenameReplacing(target.folder, target.name);
    if (error == kErrorSuccess) break;
    own.Open().SetDeletePending(true);
    const bool refused = error == kErrorAccessDenied || error == kErrorSharingViolation || error == kErrorLockViolation;
    if (refused && attempt < wait.attempts) {
      ctx.Os.clock.Sleep(wait.pauseMs);
      continue;
    }
    if (refused && TargetInUse(target, error)) throw FileFailure("File in use: " + target.path, kErrorSharingViolation);
    throw FileFailure("Cannot rename " + own.Path() + " to " + target.path, error);
  }
  own.Placed();
  // The file is in place; only the rename's own record may not be on the
  // disk yet.
  const uint32_t error = own.Open().Flush();
  if (error != kErrorSuccess) LogLine(ctx, "warning: cannot flush the rename to " + target.path, error);
}

// Writes the bytes beside the target and puts them in its place in one
// step, so that a failed write leaves the target as it was.
void WriteReplacing(SetupContext& ctx, const Target& target, const ResourceData& bytes,
                    const InUseWait& wait) {
  OwnFile own;
  WriteOwnFile(own, target, bytes, kShareNone);
  PutInPlace(ctx, own, target, wait);
}

// True when the user lets an older file replace the newer one in place.
bool AskReplaceNewer(SetupContext& ctx, const std::string& target,
                     const VersionComparison& versions) {
  if (ctx.Catalog.CurrentLanguageIndex >= 0) {
    return AskLangQuestion(ctx, LangFormatLinesCoded(ctx, "olderfilever", {{AnsiText(target)}}),
                           {LangTextPiece(ctx, "soundquest")});
  }
  MessageBoxRequest request;
  request.style = kQuestionStyle;
  if (ctx.UseRussian) {
    request.SetText({TextPiece{kOlderFileRu1, kCodePageRussian}, AnsiText(target),
                     TextPiece{"\r\n" + std::string(kOlderFileRu2) + versions.OldVersionText +
                                   kOlderFileRu3 + versions.NewVersionText + "?",
                               kCodePageRussian}});
    request.caption = kSoundQuestionRu;
    request.language = kLanguageRussian;
    request.codePage = kCodePageRussian;
  } else {
    request.text = target + " file installing is of older version\r\n" +
                   "than the same already installed.\r\n\r\n" +
                   "Do you really want to replace existing\r\n" + "new file version " +
                   versions.OldVersionText + " with an older file version " +
                   versions.NewVersionText + "?";
    request.caption = kSoundQuestionEn;
  }
  return ctx.Os.ui.MessageBox(request) == kIdYes;
}

// The new file goes beside the old one under a temporary name; after the
// comparison (and the user's consent for an older file) it replaces the old
// one in one step. Sets isNewOlder; false when the user kept the file in
// place. The temporary file never outlives the call.
bool ReplaceChecked(SetupContext& ctx, const std::string& type, const Target& target,
                    const ResourceData& bytes, bool* isNewOlder) {
  // The new version is read through the handle held since the creation.
  OwnFile own;
  WriteOwnFile(own, target, bytes, kShareNone);
  const VersionComparison versions = CompareVersions(ctx, type, own.Path(), target.path, &own.Open());
  *isNewOlder = versions.IsNewOlder;
  if (versions.IsNewOlder) {
    HideProgress(ctx);
    if (!AskReplaceNewer(ctx, target.path, versions)) return false;
  }
  PutInPlace(ctx, own, target, InUseWait());
  return true;
}

}  // namespace

std::string TempNameFor(const std::string& path) {
  std::string result = path;
  size_t slash = path.size() < 2 ? std::string::npos : path.rfind('\\', path.size() - 2);
  result.insert(slash == std::string::npos ? 0 : slash + 1, 1, '~');
  return result;
}

VersionComparison CompareVersions(SetupContext& ctx, const std::string& type,
                                  const std::string& newPath, const std::string& oldPath,
                                  File* newFile) {
  VersionComparison result;
  if (type == "exe") {
    result.NewVersionText = ReadExeFileVersion(ctx, newPath);
    result.OldVersionText = ReadExeFileVersion(ctx, oldPath);
    result.IsNewOlder = !result.OldVersionText.empty() &&
                        result.NewVersionText != result.OldVersionText &&
                        IsOlderVersionText(result.NewVersionText, result.OldVersionText);
    return result;
  }
  int32_t (*reader)(SetupContext&, const std::string&) = nullptr;
  if (type == "pak") reader = ReadPakVersion;
  else if (type == "3bs") reader = Read3bsVersion;
  else if (type == "cok") reader = ReadCokVersion;
  else if (type == "lng" && oldPath.find('!') == std::string::npos) reader = ReadLngVersion;
  if (reader == nullptr) return result;
  const int32_t newVersion =
      newFile != nullptr ? ReadVersionOfOpenFile(ctx, type, *newFile, newPath) : reader(ctx, newPath);
  const int32_t oldVersion = reader(ctx, oldPath);
  result.NewVersionText = std::to_string(newVersion);
  result.OldVersionText = std::to_string(oldVersion);
  result.IsNewOlder = oldVersion > newVersion;
  return result;
}

namespace {

// Shows the failure that ended a write of the target, and keeps its code and
// text for the caller.
bool ReportInstallFailure(SetupContext& ctx, const std::string& targetPath, const std::exception& failure) {
  const auto* described = dynamic_cast<const Failure*>(&failure);
  ctx.WriteFailureCode = described ? described->Code() : 0;
  ctx.WriteFailureText = failure.what();
  ShowBilingualError(ctx, kCantInstallEn + targetPath,
                     CodedText{TextPiece{kCantInstallRu, kCodePageRussian}, AnsiText(targetPath)});
  return false;
}

}  // namespace

bool InstallResourceFile(SetupContext& ctx, const std::string& ResourceName,
                         const std::string& ResourceType, const Target& target, bool CheckVersions,
                         const InUseWait& wait) {
  std::unique_ptr<ResourceData> resource;
  try {
    uint32_t error = 0;
    resource = ctx.Os.resources.Load(ResourceName, ResourceType, &error);
    if (!resource)
      throw ResourceFailure("Resource " + ResourceName + " of type " + ResourceType + " not found",
                            error);
    // The bytes are written from the resource itself: no copy is staged.
    bool isNewOlder = false;
    bool written = true;
    if (!CheckVersions || !FileExistsIn(target.folder, target.name) || !IsCheckedType(ResourceType)) {
      WriteReplacing(ctx, target, *resource, wait);
    } else {
      written = ReplaceChecked(ctx, ResourceType, target, *resource, &isNewOlder);
    }
    if (isNewOlder) ShowProgress(ctx, "", "");
    return written;
  } catch (const std::exception& failure) {
    return ReportInstallFailure(ctx, target.path, failure);
  }
}

bool InstallResourceFile(SetupContext& ctx, const std::string& ResourceName,
                         const std::string& ResourceType, const std::string& TargetPath,
                         bool CheckVersions, const InUseWait& wait) {
  const size_t cut = TargetPath.find_last_of('\\');
  uint32_t error = kErrorPathNotFound;
  std::unique_ptr<Folder> folder;
  if (cut != std::string::npos && cut + 1 < TargetPath.size())
    folder = ctx.Os.files.OpenFolder(TargetPath.substr(0, cut + 1), &error);
  if (!folder)
    return ReportInstallFailure(ctx, TargetPath, FileFailure("Cannot open the folder of " + TargetPath, error));
  return InstallResourceFile(ctx, ResourceName, ResourceType, Target{*folder, TargetPath.substr(cut + 1), TargetPath},
                             CheckVersions, wait);
}

}  // namespace orfa
