// The one process-wide record through which the steps of a run hand their
// results to each other.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/MessageCatalog.h"
#include "core/Registry.h"
#include "core/Text.h"
#include "platform/Platform.h"

namespace orfa {

class ProgressWindow;  // the progress window; its module creates it

struct SetupContext {
  explicit SetupContext(Platform& platform);
  ~SetupContext();
  SetupContext(const SetupContext&) = delete;
  SetupContext& operator=(const SetupContext&) = delete;

  Platform& Os;

  std::string CommandWord;
  // The unattended mode: nothing this run starts may show a window.
  bool NoWindows = false;
  std::vector<std::string> Arguments;  // the command line's arguments, as split
  uint32_t UserLcid = 0;
  bool UseRussian = false;
  bool Is64BitSystem = false;
  std::unique_ptr<orfa::Registry> Registry;
  uint32_t PlatformId = 0;

  const std::string WindowsCurrentVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion\\";
  const std::string MakerKey = "Software\\Tovel\\";

  std::string PayloadTitleKey;
  std::string PayloadFileName;
  int32_t PayloadVersion = 0;
  std::string PayloadVersionText;
  std::string PayloadExt;
  std::string ProductName;
  std::string GroupNameRu;
  // Code page of GroupNameRu: Windows-1251 for the built-in title, the language
  // file's code page once a file's "progname" replaces it.
  uint32_t GroupNameRuCodePage = kCodePageRussian;
  std::string GroupNameEn;
  bool IsAdmin = true;
  std::string ProductFolder;
  // The product folder as opened once it was chosen: what the run writes
  // there, and the checks that decide it, go through this folder alone.
  std::unique_ptr<Folder> ProductFolderHandle;
  std::string UninstallKey;

  std::string ProductKey;
  std::string SystemFolder;
  std::string WindowsFolder;
  std::string TempFolder;
  std::string CommonDesktopFolder;
  std::string CommonProgramsFolder;
  std::string UserProgramsFolder;
  std::string UserDesktopFolder;
  std::string StartupFolder;
  std::string ProgramsGroupFolder;
  std::string AltProgramsGroupFolder;
  std::string UserGroupFolderRu;
  std::string UserGroupFolderEn;
  std::string WowUninstallEntryKey;

  int32_t MessageLangId = -1;
  // Code page of the current language file's texts (from its language code);
  // the system's ANSI code page until a file is chosen.
  uint32_t MessageCodePage = kCodePageAnsi;

  // The digest record the build stamped into the executable: 16 bytes of
  // marker, then the XXH3-128 of the image (see app/SelfCheck.h).
  std::string ExecutableDigestSlot;

  // The system's error code of the failure that ended the last failed
  // InstallResourceFile (0 when it carried none).
  uint32_t WriteFailureCode = 0;
  // What failed, as that failure describes itself.
  std::string WriteFailureText;

  // Takes a line for the unattended mode's log (a text in the ANSI code
  // page, and the system's error code it is about, or 0); empty in the
  // other modes, which keep no log.
  std::function<void(const std::string& text, uint32_t error)> Log;

  MessageCatalog Catalog;
  // Shared, so that this record can be destroyed without knowing the type.
  std::shared_ptr<orfa::ProgressWindow> ProgressWindow;
};

// A line for the log, where the run keeps one.
void LogLine(SetupContext& ctx, const std::string& text, uint32_t error = 0);
// True for the locales whose users get Russian texts.
bool IsRussianLocale(uint32_t lcid);
// Opens "Software\Tovel\" + ProductName under HKEY_CURRENT_USER, creating it
// when missing, and leaves it open on ctx.Registry.
bool OpenUserSettingsKey(SetupContext& ctx);
// False when the product is running (its named mapping exists).
bool ProductNotRunning(SetupContext& ctx);

}  // namespace orfa
