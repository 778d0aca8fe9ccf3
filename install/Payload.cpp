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

// How often the temporary file is created while something keeps standing at
// its name again.
constexpr int kCreateAttempts = 4;

// Removes whatever stands at `path`, and never what a link there leads to.
// Calls by name that delete, move or change the attributes of a link act on
// the file it leads to on some systems (Wine's, with a Unix link, which it
// cannot tell from a file); a replacing move onto the name replaces the link
// itself everywhere. So an empty file of this run's own making, made beside
// the name, is moved over it and then deleted. A link to a folder goes by
// RemoveFolder, which removes the link itself; a real folder stays. What
// cannot be removed is left for the create that follows to refuse.
void RemoveEntry(FileSystem& fs, const std::string& path) {
  const std::optional<uint32_t> attributes = fs.Attributes(path);
  if (attributes && (*attributes & kAttrDirectory) != 0) {
    if ((*attributes & kAttrReparsePoint) != 0) fs.RemoveFolder(path);
    return;
  }
  const std::string spare = TempNameFor(path);
  uint32_t error = 0;
  if (!fs.Open(spare, kGenericWrite, kShareNone, Disposition::CreateNew, kOpenReparsePoint,
               &error)) {
    return;
  }
  error = fs.MoveReplace(spare, path);
  // A read-only file refuses to be replaced. Its attribute is cleared only
  // when the system says it is a file and no link.
  if (error == kErrorAccessDenied && attributes &&
      (*attributes & (kAttrReadOnly | kAttrReparsePoint)) == kAttrReadOnly &&
      fs.SetAttributes(path, kAttrNormal) == kErrorSuccess) {
    error = fs.MoveReplace(spare, path);
  }
  // The spare now stands at the name, or is still beside it.
  fs.Delete(error == kErrorSuccess ? path : spare);
}

// Creates a new file at `path`, of this run's own making, held without
// sharing. The create never goes through a link: whatever stands at the name
// makes it fail, is removed, and the create is tried again, a few times while
// something (a link planted between the removal and the create) keeps
// appearing there.
std::unique_ptr<File> CreateOwnFile(FileSystem& fs, const std::string& path) {
  uint32_t error = 0;
  for (int attempt = 1;; ++attempt) {
    std::unique_ptr<File> file = fs.Open(path, kGenericRead | kGenericWrite, kShareNone,
                                         Disposition::CreateNew, kOpenReparsePoint, &error);
    if (file) {
      // A system that followed a link all the same has opened another's file.
      const std::optional<uint32_t> attributes = file->Attributes(&error);
      if (!attributes) throw FileFailure("Cannot tell what was created at " + path, error);
      if ((*attributes & (kAttrDirectory | kAttrReparsePoint)) != 0)
        throw FileFailure("Not a plain file: " + path, kErrorAccessDenied);
      return file;
    }
    const bool inTheWay = error == kErrorFileExists || error == kErrorAlreadyExists;
    if (!inTheWay || attempt == kCreateAttempts)
      throw FileFailure("Cannot create file " + path, error);
    RemoveEntry(fs, path);
  }
}

// The temporary file beside the target; once created, removed again when
// destroyed unless it has been put in place, so that no failure leaves it
// behind.
class TempFile {
 public:
  TempFile(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (created_ && !placed_) RemoveEntry(fs_, path_);
  }
  std::unique_ptr<File> Create() {
    std::unique_ptr<File> file = CreateOwnFile(fs_, path_);
    created_ = true;
    return file;
  }
  const std::string& Path() const { return path_; }
  void Placed() { placed_ = true; }

 private:
  FileSystem& fs_;
  std::string path_;
  bool created_ = false;
  bool placed_ = false;
};

// Writes the bytes, straight from the resource's memory, into the temporary
// file and flushes them to the disk. Only the file created here is written.
void WriteTempFile(TempFile& temp, const ResourceData& bytes) {
  std::unique_ptr<File> file = temp.Create();
  uint32_t error = file->Write(bytes.Data(), bytes.Size());
  if (error != kErrorSuccess) throw FileFailure("Cannot write file " + temp.Path(), error);
  error = file->Flush();
  if (error != kErrorSuccess) throw FileFailure("Cannot flush file " + temp.Path(), error);
}

// True when a failed replacement met a target that another program has open.
bool TargetInUse(FileSystem& fs, const std::string& target, uint32_t error) {
  if (error == kErrorSharingViolation) return true;
  if (error != kErrorAccessDenied) return false;
  uint32_t probe = 0;
  fs.Open(target, kGenericRead, kShareNone, Disposition::OpenExisting, &probe);
  return probe == kErrorSharingViolation;
}

// Replaces the target by the temporary file in one step, written through.
// While the target is in use it tries again as `wait` allows, pausing after
// every attempt that met it in use.
void PutInPlace(SetupContext& ctx, TempFile& temp, const std::string& target,
                const InUseWait& wait) {
  FileSystem& fs = ctx.Os.files;
  // A read-only file is not overwritten, as creating it anew would refuse;
  // not every system's replacing move keeps to that.
  const std::optional<uint32_t> attributes = fs.Attributes(target);
  if (attributes && (*attributes & kAttrReadOnly) != 0)
    throw FileFailure("File is read-only: " + target, kErrorAccessDenied);
  for (int attempt = 1;; ++attempt) {
    const uint32_t error = fs.MoveReplace(temp.Path(), target);
    if (error == kErrorSuccess) break;
    if (!TargetInUse(fs, target, error)) throw FileFailure("Cannot replace file " + target, error);
    if (wait.attempts > 1) ctx.Os.clock.Sleep(wait.pauseMs);
    if (attempt >= wait.attempts) throw FileFailure("File in use: " + target, kErrorSharingViolation);
  }
  temp.Placed();
}

// Writes the bytes beside the target and puts them in its place in one
// step, so that a failed write leaves the target as it was.
void WriteReplacing(SetupContext& ctx, const std::string& target, const ResourceData& bytes,
                    const InUseWait& wait) {
  TempFile temp(ctx.Os.files, TempNameFor(target));
  WriteTempFile(temp, bytes);
  PutInPlace(ctx, temp, target, wait);
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
bool ReplaceChecked(SetupContext& ctx, const std::string& type, const std::string& target,
                    const ResourceData& bytes, bool* isNewOlder) {
  TempFile temp(ctx.Os.files, TempNameFor(target));
  WriteTempFile(temp, bytes);

  const VersionComparison versions = CompareVersions(ctx, type, temp.Path(), target);
  *isNewOlder = versions.IsNewOlder;
  if (versions.IsNewOlder) {
    HideProgress(ctx);
    if (!AskReplaceNewer(ctx, target, versions)) return false;
  }
  PutInPlace(ctx, temp, target, InUseWait());
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
                                  const std::string& newPath, const std::string& oldPath) {
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
  const int32_t newVersion = reader(ctx, newPath);
  const int32_t oldVersion = reader(ctx, oldPath);
  result.NewVersionText = std::to_string(newVersion);
  result.OldVersionText = std::to_string(oldVersion);
  result.IsNewOlder = oldVersion > newVersion;
  return result;
}

bool InstallResourceFile(SetupContext& ctx, const std::string& ResourceName,
                         const std::string& ResourceType, const std::string& TargetPath,
                         bool CheckVersions, const InUseWait& wait) {
  FileSystem& fs = ctx.Os.files;
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
    if (!CheckVersions || !FileExists(fs, TargetPath) || !IsCheckedType(ResourceType)) {
      WriteReplacing(ctx, TargetPath, *resource, wait);
    } else {
      written = ReplaceChecked(ctx, ResourceType, TargetPath, *resource, &isNewOlder);
    }
    if (isNewOlder) ShowProgress(ctx, "", "");
    return written;
  } catch (const std::exception& failure) {
    const auto* described = dynamic_cast<const Failure*>(&failure);
    ctx.WriteFailureCode = described ? described->Code() : 0;
    ShowBilingualError(ctx, kCantInstallEn + TargetPath,
                       CodedText{TextPiece{kCantInstallRu, kCodePageRussian}, AnsiText(TargetPath)});
    return false;
  }
}

}  // namespace orfa
