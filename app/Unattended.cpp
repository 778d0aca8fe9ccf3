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

int ExitCodeOf(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::Installed: return 0;
    case UpdateOutcome::Declined: return 0;  // only a user at the screen declines
    case UpdateOutcome::LastResort: return 1;
    case UpdateOutcome::NoProduct: return 10;
    case UpdateOutcome::NoAdminRights: return 11;
    case UpdateOutcome::LanguageFiles: return 12;
    case UpdateOutcome::FileInUse: return 13;
    case UpdateOutcome::WriteFailed: return 14;
    case UpdateOutcome::PackageDamaged: return 15;
    case UpdateOutcome::RegistryUnreadable: return 16;
  }
  return 1;
}

const char* OutcomeText(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::Installed: return "installed";
    case UpdateOutcome::Declined: return "declined";
    case UpdateOutcome::LastResort: return "failed (application error)";
    case UpdateOutcome::NoProduct: return "product not installed";
    case UpdateOutcome::NoAdminRights: return "no administrator rights";
    case UpdateOutcome::LanguageFiles: return "language files missing or broken";
    case UpdateOutcome::FileInUse: return "product still running or its file in use";
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

std::unique_ptr<File> OpenLogFile(FileSystem& files, const std::string& path,
                                  bool namedByAdministrator) {
  uint32_t error = 0;
  // Appending only, shared with readers and with another run appending; a
  // link at the last name is opened itself, never followed.
  std::unique_ptr<File> file =
      files.Open(path, kAppendData | kReadAttributes, kShareRead | kShareWrite,
                 Disposition::OpenAlways, kOpenReparsePoint, &error);
  if (!file) return nullptr;
  const std::optional<uint32_t> attributes = file->Attributes(&error);
  if (!attributes || (*attributes & (kAttrDirectory | kAttrReparsePoint)) != 0) return nullptr;
  if (namedByAdministrator) return file;
  // A second name is a hard link someone made to another file; another name
  // for the file itself, a link in the folder path.
  const std::optional<uint32_t> links = file->LinkCount(&error);
  if (!links || *links != 1 || !file->NamedAs(path)) return nullptr;
  return file;
}

UnattendedLog::UnattendedLog(UnattendedPort& port, FileSystem& files,
                             const std::vector<std::string>& arguments)
    : port_(port) {
  const std::optional<std::string> named = LogArgument(arguments);
  if (named && !named->empty()) {
    file_ = OpenLogFile(files, *named, true);
    return;
  }
  const std::string folder = port.WindowsTempFolder();
  if (!folder.empty()) file_ = OpenLogFile(files, folder + kLogFileName, false);
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
