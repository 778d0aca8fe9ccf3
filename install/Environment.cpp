#include "install/Environment.h"

#include <deque>
#include <exception>
#include <limits>

#include "lang/Lang.h"

namespace orfa {

namespace {

// "Нет доступа к системному реестру" in Windows-1251.
const char kNoRegistryAccessRu[] =
    "\xCD\xE5\xF2 \xE4\xEE\xF1\xF2\xF3\xEF\xE0 \xEA \xF1\xE8\xF1\xF2\xE5\xEC\xED\xEE\xEC\xF3 "
    "\xF0\xE5\xE5\xF1\xF2\xF0\xF3";
const char kNoRegistryAccessEn[] = "No access to system registry";

const char kShellFoldersKey[] = "Explorer\\Shell Folders";
const char kUninstallString[] = "UninstallString";
const char kWowNode[] = "WOW6432Node\\";

// The program's path in an uninstall command: what stands between a leading
// double quote and the next one (the rest of the text when none follows), or
// the whole text when it does not begin with a quote.
std::string ProgramOfCommand(const std::string& command) {
  if (command.empty() || command[0] != '"') return command;
  const size_t close = command.find('"', 1);
  return command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

// The folder part of an uninstall command's program, up to and including the
// last "\" before its final character. False when there is none: the command
// then names no folder.
bool CutToFolder(const std::string& command, std::string* folder) {
  const std::string program = ProgramOfCommand(command);
  if (program.size() < 2) return false;
  size_t pos = program.rfind('\\', program.size() - 2);
  if (pos == std::string::npos) return false;
  *folder = program.substr(0, pos + 1);
  return true;
}

// Reads "UninstallString" of HKLM\entryKey. True when the value exists (the
// entry counts as found); ProductFolder then takes the command's folder when
// the command names one.
bool ReadUninstallEntry(SetupContext& ctx, const std::string& entryKey) {
  Registry& registry = *ctx.Registry;
  KeyCloser closer(registry);
  registry.SelectRoot(RootKey::LocalMachine);
  registry.OpenKey(entryKey, false);
  if (!registry.ValueExists(kUninstallString)) return false;
  std::string folder;
  if (CutToFolder(registry.ReadString(kUninstallString), &folder)) ctx.ProductFolder = folder;
  return true;
}

// HKCU shell folders; false on any failure (the key is closed by then).
bool ReadUserShellFolders(SetupContext& ctx) {
  Registry& registry = *ctx.Registry;
  try {
    KeyCloser closer(registry);
    registry.SelectRoot(RootKey::CurrentUser);
    registry.OpenKey(ctx.WindowsCurrentVersionKey + kShellFoldersKey, false);
    ctx.UserProgramsFolder = registry.ReadString("Programs");
    AppendBackslash(ctx.UserProgramsFolder);
    ctx.UserDesktopFolder = registry.ReadString("Desktop");
    AppendBackslash(ctx.UserDesktopFolder);
    ctx.StartupFolder = registry.ReadString("Startup");
    AppendBackslash(ctx.StartupFolder);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool DiscoverEnvironment(SetupContext& ctx) {
  Registry& registry = *ctx.Registry;
  ctx.CommonProgramsFolder.clear();

  ctx.SystemFolder = ctx.Os.files.SystemDirectory();
  AppendBackslash(ctx.SystemFolder);
  ctx.WindowsFolder = ctx.Os.files.WindowsDirectory();
  AppendBackslash(ctx.WindowsFolder);

  std::string programFilesFolder;
  {
    KeyCloser closer(registry);
    registry.SelectRoot(RootKey::LocalMachine);
    registry.OpenKey(ctx.WindowsCurrentVersionKey, false);
    programFilesFolder = registry.ReadString("ProgramFilesDir");
    AppendBackslash(programFilesFolder);
  }

  ctx.IsAdmin = ctx.Os.system.IsUserAnAdmin();
  ctx.TempFolder = ctx.Os.system.Environment("Temp").value_or(std::string());
  AppendBackslash(ctx.TempFolder);

  {
    KeyCloser closer(registry);
    registry.SelectRoot(RootKey::LocalMachine);
    registry.OpenKey(ctx.WindowsCurrentVersionKey + kShellFoldersKey, false);
    ctx.CommonDesktopFolder = registry.ReadString("Common Desktop");
    AppendBackslash(ctx.CommonDesktopFolder);
    if (ctx.PlatformId == 2) {
      ctx.CommonProgramsFolder = registry.ReadString("Common Programs");
      AppendBackslash(ctx.CommonProgramsFolder);
    }
  }

  if (!ReadUserShellFolders(ctx)) {
    ShowBilingualError(ctx, kNoRegistryAccessEn, kNoRegistryAccessRu);
    return false;
  }

  ctx.UninstallKey = ctx.WindowsCurrentVersionKey + "Uninstall\\";
  ctx.ProductKey = ctx.MakerKey + ctx.ProductName + "\\";
  if (ctx.CommonProgramsFolder.size() < 2) ctx.CommonProgramsFolder = ctx.UserProgramsFolder;

  ctx.AltProgramsGroupFolder = ctx.CommonProgramsFolder + ctx.GroupNameRu + "\\";
  ctx.ProgramsGroupFolder = ctx.CommonProgramsFolder + ctx.GroupNameEn + "\\";
  ctx.UserGroupFolderRu = ctx.UserProgramsFolder + ctx.GroupNameRu + "\\";
  ctx.UserGroupFolderEn = ctx.UserProgramsFolder + ctx.GroupNameEn + "\\";
  if (ctx.UseRussian) std::swap(ctx.ProgramsGroupFolder, ctx.AltProgramsGroupFolder);

  ctx.ProductFolder = programFilesFolder + ctx.ProductName;
  ctx.WowUninstallEntryKey.clear();
  if (!ReadUninstallEntry(ctx, ctx.UninstallKey + ctx.ProductName)) {
    std::string wowKey = ctx.UninstallKey;
    size_t slash = wowKey.find('\\');
    wowKey.insert(slash == std::string::npos ? wowKey.size() : slash + 1, kWowNode);
    if (ReadUninstallEntry(ctx, wowKey + ctx.ProductName))
      ctx.WowUninstallEntryKey = wowKey + ctx.ProductName;
  }
  AppendBackslash(ctx.ProductFolder);
  return true;
}

int32_t FolderSizeKb(SetupContext& ctx, const std::string& folder) {
  FileSystem& fs = ctx.Os.files;
  if (folder.empty() || !DirectoryExists(fs, folder)) return -1;

  constexpr uint64_t kMaxTotal = std::numeric_limits<uint64_t>::max();
  uint64_t total = 0;
  std::deque<std::string> pending;  // folders met but not yet listed, in order
  std::string current = folder;
  for (;;) {
    AppendBackslash(current);
    uint32_t error = 0;
    for (const DirEntry& entry : fs.List(current + "*.*", &error)) {
      // A reparse point (a link, a junction) leads out of the tree, to files
      // counted elsewhere, or back to one of its own ancestors: it is neither
      // walked nor counted.
      if ((entry.attributes & kAttrReparsePoint) != 0) continue;
      if ((entry.attributes & kAttrDirectory) == 0) {
        total = entry.size > kMaxTotal - total ? kMaxTotal : total + entry.size;
      } else if (entry.name != "." && entry.name != "..") {
        pending.push_back(current + entry.name);
      }
    }
    if (pending.empty()) break;
    current = std::move(pending.front());
    pending.pop_front();
  }

  uint64_t kb = total >> 10;
  constexpr uint64_t kMaxKb = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(kb > kMaxKb ? kMaxKb : kb);
}

}  // namespace orfa
