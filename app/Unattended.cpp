#include "app/Unattended.h"

#include "lang/Lang.h"
#include "platform/AsciiCase.h"

namespace orfa {
namespace {

constexpr char kLogPrefix[] = "log=";
constexpr char kRunapp[] = "runapp";

bool SameNoCase(const std::string& a, const std::string& b) {
  return LowerAscii(a) == LowerAscii(b);
}

// The command line as the arguments give it back, quoted where they hold a blank.
std::string CommandLineOf(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument.find(' ') == std::string::npos && !argument.empty()
                ? argument
                : "\"" + argument + "\"";
  }
  return line;
}

// Line breaks inside a text become blanks, so that one event is one line.
std::string OnOneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

int ExitCodeOf(UpdateOutcome outcome, uint32_t writeError) {
  switch (outcome) {
    case UpdateOutcome::Installed: return 0;
    case UpdateOutcome::AlreadyInstalled: return 0;
    case UpdateOutcome::Declined: return 0;  // only a user at the screen declines
    case UpdateOutcome::LastResort: return 1603;
    case UpdateOutcome::NoProduct: return 1605;
    case UpdateOutcome::NoAdminRights: return 740;
    case UpdateOutcome::LanguageFiles: return 1610;
    case UpdateOutcome::FileInUse: return 1618;
    case UpdateOutcome::NewerInstalled: return 1638;
    case UpdateOutcome::PackageDamaged: return 1392;
    case UpdateOutcome::RegistryUnreadable: return 1010;
    case UpdateOutcome::WriteFailed:
      switch (writeError) {
        case kErrorAccessDenied:
        case kErrorWriteProtect:
        case kErrorHandleDiskFull:
        case kErrorDiskFull:
          return static_cast<int>(writeError);
        default:
          return 29;  // ERROR_WRITE_FAULT
      }
  }
  return 1603;
}

const char* OutcomeText(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::Installed: return "installed";
    case UpdateOutcome::AlreadyInstalled: return "already installed";
    case UpdateOutcome::Declined: return "declined";
    case UpdateOutcome::LastResort: return "failed (application error)";
    case UpdateOutcome::NoProduct: return "product not installed";
    case UpdateOutcome::NoAdminRights: return "no administrator rights";
    case UpdateOutcome::LanguageFiles: return "language files missing or broken";
    case UpdateOutcome::FileInUse: return "product still running or its file in use";
    case UpdateOutcome::NewerInstalled: return "a newer file is installed";
    case UpdateOutcome::WriteFailed: return "file could not be written";
    case UpdateOutcome::PackageDamaged: return "update package damaged";
    case UpdateOutcome::RegistryUnreadable: return "registry unreadable";
  }
  return "failed";
}

bool IsUnattendedMode(const std::vector<std::string>& arguments) {
  return !arguments.empty() && LowerAscii(arguments[0]) == kUnattendedWord;
}

std::optional<std::string> LogArgument(const std::vector<std::string>& arguments) {
  const size_t prefix = sizeof kLogPrefix - 1;
  for (size_t i = 1; i < arguments.size() && i <= 2; ++i) {
    const std::string& argument = arguments[i];
    if (SameNoCase(argument.substr(0, prefix), kLogPrefix)) return argument.substr(prefix);
    if (i == 2 || LowerAscii(argument) != kRunapp) break;
  }
  return std::nullopt;
}

namespace {

// Appending only, shared with readers and with another run appending; a
// link at the last name is opened itself, never followed. Only a file, not
// a folder or a link, is kept.
std::unique_ptr<File> AppendOnly(std::unique_ptr<File> file) {
  uint32_t error = 0;
  const std::optional<uint32_t> attributes = file ? file->Attributes(&error) : std::nullopt;
  if (!attributes || (*attributes & (kAttrDirectory | kAttrReparsePoint)) != 0) return nullptr;
  return file;
}
constexpr uint32_t kLogAccess = kAppendData | kReadAttributes | kReadControl;
constexpr uint32_t kLogShare = kShareRead | kShareWrite;

}  // namespace

std::unique_ptr<File> OpenLogFile(FileSystem& files, const std::string& path) {
  uint32_t error = 0;
  return AppendOnly(files.Open(path, kLogAccess, kLogShare, Disposition::OpenAlways, kOpenReparsePoint, &error));
}

std::unique_ptr<File> OpenDefaultLog(FileSystem& files, const std::string& folder) {
  // Only administrators may make a folder in the Windows folder's "Logs";
  // this one's own access keeps everybody else out of it.
  const size_t parent = folder.find_last_of('\\', folder.size() - 2);
  if (parent != std::string::npos) files.CreateAdminFolder(folder.substr(0, parent + 1));
  files.CreateAdminFolder(folder);
  uint32_t error = 0;
  const std::unique_ptr<Folder> open = files.OpenFolder(folder, &error);
  if (!open) return nullptr;
  std::unique_ptr<File> file =
      open->Open(kLogFileName, kLogAccess, kLogShare, Disposition::CreateNew, kOpenReparsePoint, &error);
  if (file) return AppendOnly(std::move(file));
  // One already there is this installer's when the Administrators group or
  // SYSTEM owns it and it has no other name.
  file = AppendOnly(open->Open(kLogFileName, kLogAccess, kLogShare, Disposition::OpenExisting,
                               kOpenReparsePoint, &error));
  const std::optional<uint32_t> links = file ? file->LinkCount(&error) : std::nullopt;
  if (!links || *links != 1 || !file->OwnedByAdministrators()) return nullptr;
  return file;
}

UnattendedLog::UnattendedLog(UnattendedPort& port, FileSystem& files,
                             const std::vector<std::string>& arguments)
    : port_(port) {
  const std::optional<std::string> named = LogArgument(arguments);
  if (named && !named->empty()) {
    file_ = OpenLogFile(files, *named);
    return;
  }
  const std::string windows = port.SystemWindowsFolder();
  if (!windows.empty()) file_ = OpenDefaultLog(files, windows + "Logs\\Orfa\\");
}

void UnattendedLog::Start(const PayloadIdentity& payload,
                          const std::vector<std::string>& arguments) {
  Event({AnsiText("start: update " + payload.FileName + ", version " +
                  std::to_string(payload.Version) + "; command line: " + CommandLineOf(arguments))});
}

void UnattendedLog::End(UpdateOutcome outcome, int exitCode) {
  Event({AnsiText(std::string("end: ") + OutcomeText(outcome) + "; exit code " +
                  std::to_string(exitCode))});
}

void UnattendedLog::Event(const CodedText& text) {
  if (!file_) return;
  std::string line = port_.LocalTime() + " ";
  for (const TextPiece& piece : text) line += OnOneLine(port_.Utf8Of(piece));
  line += "\r\n";
  // The handle appends wherever it stands; it is put at the end all the
  // same. A line that cannot be written is lost; the update goes on.
  uint32_t error = 0;
  if (const std::optional<uint64_t> size = file_->Size(&error)) file_->Seek(*size);
  file_->Write(line.data(), line.size());
}

void UnattendedLog::Note(const std::string& text, uint32_t error) {
  CodedText line{AnsiText(text)};
  if (error != kErrorSuccess) {
    line.push_back(AnsiText(" (error " + std::to_string(error) + ": "));
    line.push_back(AnsiText(port_.ErrorText(error)));
    line.push_back(AnsiText(")"));
  }
  Event(line);
}

int LogRecorder::MessageBox(const MessageBoxRequest& request) {
  const bool question = (request.style & kMbYesNo) != 0;
  CodedText line{AnsiText(question ? "question, answered No: [" : "message: [")};
  for (TextPiece& piece : request.CaptionAsPieces()) line.push_back(std::move(piece));
  line.push_back(AnsiText("] "));
  for (TextPiece& piece : request.TextAsPieces()) line.push_back(std::move(piece));
  log_.Event(line);
  return question ? kIdNo : kIdOk;
}

}  // namespace orfa
