#include "app/Update.h"

#include <cstdio>
#include <new>
#include <tuple>
#include <utility>

#include "app/InstalledCopy.h"
#include "app/SelfCheck.h"
#include "app/Startup.h"
#include "app/Unattended.h"
#include "install/Environment.h"
#include "install/Payload.h"
#include "lang/Lang.h"
#include "platform/Failure.h"

namespace orfa {
namespace {

// Built-in texts. The Russian ones are Windows-1251.
const char kGroupNameRu[] =
    "\xCE\xE1\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5 \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB "
    "\"\xCE\xF0\xF4\xE0\"";  // Обновление программы "Орфа"
const char kNoProductEn[] = "There's no Orfa installed.\r\nPlease install the program first.";
const char kNoProductRu[] =
    "\xCD\xE5\xF2 \xF3\xF1\xF2\xE0\xED\xEE\xE2\xEB\xE5\xED\xED\xEE\xE9 "
    "\xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB \"\xCE\xF0\xF4\xE0\"!\r\n"
    "\xCF\xEE\xE6\xE0\xEB\xF3\xE9\xF1\xF2\xE0, \xF1\xED\xE0\xF7\xE0\xEB\xE0 "
    "\xF3\xF1\xF2\xE0\xED\xEE\xE2\xE8\xF2\xE5 \xE5\xB8.";  // Нет установленной программы ...

constexpr int kOpenAttempts = 17;
constexpr uint32_t kOpenPauseMs = 256;
constexpr uint32_t kWmQuit = 18;
constexpr int kSwShowNormal = 1;

// A full path: a drive letter, a colon and a backslash, or a UNC path
// ("\\server\share"). Anything else would resolve against the installer's
// current directory.
bool IsFullPath(const std::string& path) {
  const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (path.size() >= 3 && isLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  if (path.compare(0, 2, "\\\\") != 0) return false;
  const size_t shareStart = path.find('\\', 2);
  if (shareStart == std::string::npos || shareStart == 2) return false;  // no server name
  return shareStart + 1 < path.size() && path[shareStart + 1] != '\\';    // a share name
}

// Records the product folder's size in the product's uninstall entry, where
// that entry exists; an entry is never made just to hold the size.
void RecordInstalledSize(SetupContext& ctx) {
  Registry& registry = *ctx.Registry;
  registry.SelectRoot(RootKey::LocalMachine);
  KeyCloser closer(registry);
  const std::string entry = ctx.WowUninstallEntryKey.empty()
                                ? ctx.UninstallKey + ctx.ProductName
                                : ctx.WowUninstallEntryKey;
  if (!registry.OpenKey(entry, false)) return;
  const int32_t size = FolderSizeKb(ctx, ctx.ProductFolder);
  if (size != -1) registry.WriteInteger("EstimatedSize", size);
}

void ShowApplicationError(Platform& os, const std::string& className, const std::string& message,
                          const void* address) {
  uint32_t error = 0;
  std::string module = os.resources.ExecutablePath(&error);
  module = module.substr(module.find_last_of('\\') + 1);
  char where[32];
  std::snprintf(where, sizeof where, "%08lX",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(address)));
  std::string text = "Exception " + className + " in module " + module + " at " + where +
                     ".\r\n" + message;
  if (!message.empty() && message.back() != '.') text += ".";
  text += "\r\n";
  MessageBoxRequest box;
  box.text = text;
  box.caption = "Application Error";
  box.style = kAppErrorStyle;
  os.ui.MessageBox(box);
}

// What a failed write of the payload means, by the system's error code of
// the failure that ended it.
UpdateOutcome WriteOutcome(uint32_t error) {
  switch (error) {
    case kErrorSharingViolation:
    case kErrorLockViolation:
      return UpdateOutcome::FileInUse;
    case kErrorResourceTypeNotFound:
    case kErrorResourceNameNotFound:
      return UpdateOutcome::PackageDamaged;
    default:
      return UpdateOutcome::WriteFailed;
  }
}

// The flow with the last-resort handling around it. With a log, the run
// writes its lines there, and *writeError is the system's error code of a
// failed write.
UpdateOutcome RunGuarded(Platform& platform, const std::string& digestSlot,
                         const PayloadIdentity& payload, UnattendedLog* log = nullptr,
                         uint32_t* writeError = nullptr) {
  SetupContext ctx(platform);
  if (log != nullptr) ctx.Log = [log](const std::string& text, uint32_t error) { log->Note(text, error); };
  UpdateOutcome outcome = UpdateOutcome::LastResort;
  try {
    InitSetupContext(ctx);
    ctx.PayloadTitleKey = payload.TitleKey;
    ctx.PayloadFileName = payload.FileName;
    ctx.PayloadVersion = payload.Version;
    ctx.ExecutableDigestSlot = digestSlot;
    outcome = RunUpdate(ctx);
  } catch (const Failure& failure) {
    ShowApplicationError(platform, failure.ClassName(), failure.what(), failure.Address());
  } catch (const std::bad_alloc&) {
    ShowApplicationError(platform, "EOutOfMemory", "Out of memory", nullptr);
  } catch (const std::exception& failure) {
    ShowApplicationError(platform, "Exception", failure.what(), nullptr);
  }
  if (writeError != nullptr) *writeError = ctx.WriteFailureCode;
  FreeSetupContext(ctx);
  return outcome;
}

// No window of any kind: the system's error boxes are off, every box goes
// to the log, and the exit code says how the run ended.
int RunUnattended(Platform& platform, const std::vector<std::string>& arguments,
                  const std::string& digestSlot, const PayloadIdentity& payload) {
  platform.unattended.SuppressSystemErrorBoxes();
  UnattendedLog log(platform.unattended, platform.files, arguments);
  log.Start(payload, arguments);
  LogRecorder recorder(log);
  Platform quiet{platform.registry, platform.files,  platform.resources,
                 recorder,          platform.processes, platform.system,
                 platform.clock,    platform.progress, platform.unattended};
  uint32_t writeError = 0;
  const UpdateOutcome outcome = RunGuarded(quiet, digestSlot, payload, &log, &writeError);
  const int exitCode = ExitCodeOf(outcome, writeError);
  log.End(outcome, exitCode);
  return exitCode;
}

// The payload's resource: its name is the file name before the extension
// found at step 1 (PayloadExt, with its dot), its type that extension
// without the dot ("orfm.cok": ORFM/COK, as the build embeds it).
std::pair<std::string, std::string> PayloadResourceOf(const SetupContext& ctx) {
  return {ctx.PayloadFileName.substr(0, ctx.PayloadFileName.find(ctx.PayloadExt)),
          ctx.PayloadExt.substr(ctx.PayloadExt.empty() ? 0 : 1)};
}

// The payload's bytes, where the executable has them.
std::unique_ptr<ResourceData> LoadPayload(const SetupContext& ctx) {
  const auto [name, type] = PayloadResourceOf(ctx);
  uint32_t error = 0;
  return type.empty() ? nullptr : ctx.Os.resources.Load(name, type, &error);
}

// The end of a run whose look at the installed file leaves nothing to write.
std::optional<UpdateOutcome> EndBeforeWrite(SetupContext& ctx, const InstalledLook& look) {
  if (look.copy == InstalledCopy::Newer) {
    LogLine(ctx, "installed " + ctx.PayloadFileName + " is version " + std::to_string(look.stamp) +
                     ", newer than this update's version " + ctx.PayloadVersionText + ": nothing written");
    return UpdateOutcome::NewerInstalled;
  }
  if (look.copy == InstalledCopy::Payload) {
    LogLine(ctx, "installed " + ctx.PayloadFileName + " already holds this update (version " +
                     ctx.PayloadVersionText + "): nothing written");
    return UpdateOutcome::AlreadyInstalled;
  }
  return std::nullopt;
}

}  // namespace

// The product runs as the user who started the installer, not elevated:
// the desktop shell starts it with its own token, in the product folder.
// Without a desktop shell to ask (a run as SYSTEM, in a session of no
// user), it is not started at all: never with this process's own token.
void StartProduct(SetupContext& ctx) {
  const std::string program = ctx.ProductFolder + ctx.ProductName + ".exe";
  if (ctx.Os.processes.ShellExecuteAsDesktopUser("open", program, "", ctx.ProductFolder,
                                                 kSwShowNormal)) {
    return;
  }
  LogLine(ctx, "not started: " + program + ": no desktop shell can start it as the signed-in user");
}

bool VerifyOwnExecutable(SetupContext& ctx) {
  uint32_t error = 0;
  const std::string path = ctx.Os.resources.ExecutablePath(&error);
  // The carried payload is most of the image, and the loader has mapped it
  // already: the check takes it from there rather than reading it again.
  const std::unique_ptr<ResourceData> payload = LoadPayload(ctx);
  LoadedPart loaded;
  if (payload && payload->Rva()) loaded = LoadedPart{*payload->Rva(), payload->Data(), payload->Size()};
  const ImageCheck check = path.empty() ? ImageCheck::Unreadable
                                        : CheckExecutableImage(ctx, path, ctx.ExecutableDigestSlot, loaded);
  if (check == ImageCheck::Intact) return true;
  ShowLangMessage(ctx, CodedText{LangLinesPiece(
                           ctx, check == ImageCheck::Damaged ? "badinstaller" : "verificationfail")});
  return false;
}

UpdateOutcome RunUpdate(SetupContext& ctx) {
  // 1. Names.
  const size_t dot = ctx.PayloadFileName.rfind('.');
  ctx.PayloadExt = dot == std::string::npos ? std::string() : ctx.PayloadFileName.substr(dot);
  const bool is3bsPayload = ctx.PayloadExt.find("3bs") != std::string::npos;
  ctx.PayloadVersionText = std::to_string(ctx.PayloadVersion);
  ctx.ProductName = "Orfa";
  ctx.GroupNameRu = kGroupNameRu;
  ctx.GroupNameRuCodePage = kCodePageRussian;
  ctx.GroupNameEn = "Orfa update";

  // 2. Environment.
  if (!DiscoverEnvironment(ctx)) return UpdateOutcome::RegistryUnreadable;

  // 3. The folder the product last ran from wins, when it is a full path:
  // the per-user value is the user's to write, and an empty or relative one
  // would point the installer at its own current directory.
  {
    OpenUserSettingsKey(ctx);
    KeyCloser closer(*ctx.Registry);
    if (ctx.Registry->ValueExists("TheLastRunFolder")) {
      std::string lastRun = ctx.Registry->ReadString("TheLastRunFolder");
      if (IsFullPath(lastRun)) {
        AppendBackslash(lastRun);
        ctx.ProductFolder = lastRun;
      }
    }
  }

  // 4. The product must be there. From now on the folder is the one opened
  // here, whatever its path leads to later.
  uint32_t error = kErrorPathNotFound;
  if (!ctx.ProductFolder.empty()) ctx.ProductFolderHandle = ctx.Os.files.OpenFolder(ctx.ProductFolder, &error);
  if (!ctx.ProductFolderHandle || !FileExistsIn(*ctx.ProductFolderHandle, "orfa.exe", &error)) {
    LogLine(ctx, "no product: no orfa.exe in the folder \"" + ctx.ProductFolder + "\"", error);
    ctx.ProductFolderHandle.reset();
    ShowBilingualError(ctx, kNoProductEn, kNoProductRu);
    return UpdateOutcome::NoProduct;
  }
  Folder& folder = *ctx.ProductFolderHandle;

  // 5. Language.
  if (!LoadLanguageFiles(ctx)) return UpdateOutcome::LanguageFiles;

  // 6. Rights.
  if (!ctx.IsAdmin) {
    ShowLangMessage(ctx, CodedText{LangLinesPiece(ctx, "noright")});
    return UpdateOutcome::NoAdminRights;
  }

  // The unattended mode looks at the installed file before it asks the
  // product to quit: a newer file, or the payload itself, ends the run
  // with nothing written and the product left alone.
  const bool unattended = ctx.CommandWord == kUnattendedWord;
  const std::unique_ptr<ResourceData> payload = unattended ? LoadPayload(ctx) : nullptr;
  const auto lookAtInstalled = [&] {
    return LookAtInstalled(ctx, folder, ctx.PayloadFileName, is3bsPayload, payload.get());
  };
  InstalledLook look;
  if (unattended) {
    look = lookAtInstalled();
    if (const std::optional<UpdateOutcome> ended = EndBeforeWrite(ctx, look)) return *ended;
  }

  // 7. Ask a running product to quit; it gets time while step 9 retries.
  if (!ProductNotRunning(ctx)) {
    if (auto window = ctx.Os.processes.FindTopLevelWindow("TOrfaMainForm")) {
      ctx.Os.processes.PostMessage(*window, kWmQuit, 0, 0);
    }
  }
  if (!VerifyOwnExecutable(ctx)) return UpdateOutcome::PackageDamaged;

  // 8. Mode. The unattended mode runs the quiet flow.
  const bool quietMode = ctx.CommandWord == "modest" || ctx.CommandWord == kUnattendedWord;

  // 9. The installed file's update stamp. The unattended mode's look that
  // met the file in use is made again once the product has let go of it.
  const std::string installed = ctx.ProductFolder + ctx.PayloadFileName;
  if (unattended && look.copy == InstalledCopy::InUse) {
    for (int attempt = 0; attempt < kOpenAttempts && look.copy == InstalledCopy::InUse; ++attempt) {
      ctx.Os.clock.Sleep(kOpenPauseMs);
      look = lookAtInstalled();
    }
    if (look.copy == InstalledCopy::InUse) {
      LogLine(ctx, "in use: " + installed, look.error);
      return UpdateOutcome::FileInUse;
    }
    if (const std::optional<UpdateOutcome> ended = EndBeforeWrite(ctx, look)) return *ended;
  }
  if (!quietMode && FileExistsIn(folder, ctx.PayloadFileName)) {
    auto stamp = ReadStampWhenFree(ctx, folder, ctx.PayloadFileName, is3bsPayload, kOpenAttempts, kOpenPauseMs);
    if (!stamp) {
      ShowLangMessage(ctx, LangFormatLinesCoded(ctx, "filecantopen", {{AnsiText(installed)}}));
      return UpdateOutcome::FileInUse;
    }
    if (ctx.PayloadVersion < *stamp &&
        !AskLangQuestion(ctx,
                         LangFormatLinesCoded(ctx, "olderfilever", {{AnsiText(ctx.PayloadFileName)}}),
                         {LangTextPiece(ctx, "soundquest")})) {
      return UpdateOutcome::Declined;
    }
  }

  // 10. Install question.
  // Every text keeps the code page of the file it came from until the box.
  const TextPiece caption = LangTextPiece(ctx, "liveupdatecaption");
  const TextPiece titleKey = LangTextPiece(ctx, ctx.PayloadTitleKey);
  const TextPiece title{titleKey.text + " " + ctx.PayloadVersionText, titleKey.codePage};
  if (!quietMode &&
      !AskLangQuestion(ctx, LangFormatLinesCoded(ctx, "installask", {{caption}, {title}}),
                       {LangTextPiece(ctx, "soundquest")})) {
    return UpdateOutcome::Declined;
  }

  // 11. Install.
  std::tie(ctx.PayloadFileName, ctx.PayloadExt) = PayloadResourceOf(ctx);
  // The quiet mode has not waited for the product to let go of the file: it
  // does so while the file is in use, as step 9 would have.
  const InUseWait wait = quietMode ? InUseWait{kOpenAttempts, kOpenPauseMs} : InUseWait();
  const std::string name = ctx.PayloadFileName + "." + ctx.PayloadExt;
  const bool written = InstallResourceFile(ctx, ctx.PayloadFileName, ctx.PayloadExt,
                                           Target{folder, name, ctx.ProductFolder + name}, false, wait);
  const UpdateOutcome outcome =
      written ? UpdateOutcome::Installed : WriteOutcome(ctx.WriteFailureCode);
  if (!written) LogLine(ctx, "failed: " + ctx.WriteFailureText, ctx.WriteFailureCode);

  // 12. Installed size.
  RecordInstalledSize(ctx);

  // 13. Closing. A failed write has been reported; it is not followed by
  // the question that says the update is installed.
  if (quietMode) {
    if (ctx.Arguments.size() >= 2 && LowerAscii(ctx.Arguments[1]) == "runapp") StartProduct(ctx);
    return outcome;
  }
  if (!written) return outcome;
  CodedText done = LangFormatCoded(ctx, "installdone",
                                   {{caption, AnsiText(" ("), title, AnsiText(")")}});
  done.push_back(AnsiText("\r\n\r\n"));
  done.push_back(LangTextPiece(ctx, "asktorun"));
  if (AskLangQuestion(ctx, done, {caption})) StartProduct(ctx);
  return outcome;
}

int RunProgram(Platform& platform, const std::string& digestSlot, const PayloadIdentity& payload) {
  const std::vector<std::string> arguments = platform.processes.CommandLineArguments();
  if (IsUnattendedMode(arguments)) return RunUnattended(platform, arguments, digestSlot, payload);
  return RunGuarded(platform, digestSlot, payload) == UpdateOutcome::LastResort ? 1 : 0;
}

}  // namespace orfa
