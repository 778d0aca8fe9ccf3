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

// Writes all bytes into a file created anew and held without sharing. On a
// failure nothing of the file is left behind and a FileFailure is raised.
void WriteNewFile(FileSystem& fs, const std::string& path, const std::vector<uint8_t>& bytes) {
  uint32_t error = 0;
  std::unique_ptr<File> file = fs.Open(path, kGenericRead | kGenericWrite, kShareNone,
                                       Disposition::CreateAlways, &error);
  if (!file) throw FileFailure("Cannot create file " + path, error);
  error = file->Write(bytes.data(), bytes.size());
  file.reset();
  if (error != kErrorSuccess) {
    fs.Delete(path);
    throw FileFailure("Cannot write file " + path, error);
  }
}

// Writes the bytes beside the target and puts them in its place in one
// step, so that a failed write leaves the target as it was.
void WriteReplacing(FileSystem& fs, const std::string& target, const std::vector<uint8_t>& bytes) {
  // A read-only file is not overwritten, as creating it anew would refuse;
  // not every system's replacing move keeps to that.
  const std::optional<uint32_t> attributes = fs.Attributes(target);
  if (attributes && (*attributes & kAttrReadOnly) != 0)
    throw FileFailure("File is read-only: " + target, kErrorAccessDenied);
  const std::string temp = TempNameFor(target);
  WriteNewFile(fs, temp, bytes);
  uint32_t error = fs.MoveReplace(temp, target);
  if (error != kErrorSuccess) {
    fs.Delete(temp);
    throw FileFailure("Cannot replace file " + target, error);
  }
}

// True when the user lets an older file replace the newer one in place.
bool AskReplaceNewer(SetupContext& ctx, const std::string& target,
                     const VersionComparison& versions) {
  if (ctx.Catalog.CurrentLanguageIndex >= 0) {
    return AskLangQuestion(ctx, LangFormatLines(ctx, "olderfilever", {target}),
                           LangText(ctx, "soundquest"));
  }
  MessageBoxRequest request;
  request.style = kQuestionStyle;
  if (ctx.UseRussian) {
    request.text = kOlderFileRu1 + target + "\r\n" + kOlderFileRu2 + versions.OldVersionText +
                   kOlderFileRu3 + versions.NewVersionText + "?";
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
// comparison (and the user's consent for an older file) the old one is
// deleted and the new one renamed into its place. Sets isNewOlder; false
// when the user kept the file in place.
bool ReplaceChecked(SetupContext& ctx, const std::string& type, const std::string& target,
                    const std::vector<uint8_t>& bytes, bool* isNewOlder) {
  FileSystem& fs = ctx.Os.files;
  const std::string temp = TempNameFor(target);
  WriteNewFile(fs, temp, bytes);

  const VersionComparison versions = CompareVersions(ctx, type, temp, target);
  *isNewOlder = versions.IsNewOlder;
  if (versions.IsNewOlder) {
    HideProgress(ctx);
    if (!AskReplaceNewer(ctx, target, versions)) {
      fs.Delete(temp);
      return false;
    }
  }

  uint32_t error = fs.Delete(target);
  if (error != kErrorSuccess) throw FileFailure("Cannot delete file " + target, error);
  error = fs.Move(temp, target);
  if (error != kErrorSuccess) throw FileFailure("Cannot rename file " + temp, error);
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
                         bool CheckVersions) {
  FileSystem& fs = ctx.Os.files;
  std::unique_ptr<ResourceData> resource;
  std::vector<uint8_t> staging;
  try {
    uint32_t error = 0;
    resource = ctx.Os.resources.Load(ResourceName, ResourceType, &error);
    if (!resource)
      throw ResourceFailure("Resource " + ResourceName + " of type " + ResourceType + " not found",
                            error);
    // Sized once to the whole resource; the copy never grows it.
    staging.assign(resource->Data(), resource->Data() + resource->Size());

    bool isNewOlder = false;
    bool written = true;
    if (!CheckVersions || !FileExists(fs, TargetPath) || !IsCheckedType(ResourceType)) {
      WriteReplacing(fs, TargetPath, staging);
    } else {
      written = ReplaceChecked(ctx, ResourceType, TargetPath, staging, &isNewOlder);
    }
    if (isNewOlder) ShowProgress(ctx, "", "");
    return written;
  } catch (const std::exception&) {
    ShowBilingualError(ctx, kCantInstallEn + TargetPath, kCantInstallRu + TargetPath);
    return false;
  }
}

}  // namespace orfa
