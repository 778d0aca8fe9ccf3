// Runs one console command through the command interpreter, hidden, and
// returns what it printed, converted from the OEM to the ANSI code page.
// The output travels through a temporary file of a fresh name that is
// created here first, so that no existing file is ever overwritten, and that
// is deleted on every path.
#include <utility>

#include "core/Text.h"
#include "platform/LineReader.h"
#include "sysinfo/SystemName.h"

namespace orfa {

namespace {

constexpr uint32_t kCreateNewConsole = 0x10;
constexpr uint32_t kCreateNewProcessGroup = 0x200;
constexpr uint32_t kCaptureFlags = kCreateNewConsole | kCreateNewProcessGroup;  // 0x210

// A console command that has not ended after this long is ended and counts
// as having printed nothing.
constexpr uint32_t kCaptureTimeoutMs = 30000;

constexpr int kNameLetters = 8;
constexpr int kNameAttempts = 16;

const char* const kLineBreak = "\r\n";

// Deletes the temporary file when the capture ends, however it ends.
class TempFile {
 public:
  TempFile(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
  ~TempFile() { files_.Delete(path_); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  FileSystem& files_;
  std::string path_;
};

std::string RandomName(SetupContext& ctx) {
  std::string name;
  for (int i = 0; i < kNameLetters; ++i) name += static_cast<char>('a' + ctx.Random(26));
  return name;
}

// Creates an empty file of a fresh name in the folder; its path, or the empty
// text when none could be made.
std::string CreateUniqueFile(SetupContext& ctx, const std::string& folder) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string path = folder + RandomName(ctx);
    uint32_t error = 0;
    auto file = ctx.Os.files.Open(path, kGenericWrite, kShareNone, Disposition::CreateNew, &error);
    if (file) return path;
    if (error != kErrorFileExists && error != kErrorAlreadyExists) return "";
  }
  return "";
}

std::string ReadAllLines(FileSystem& files, const std::string& path) {
  std::string text;
  uint32_t error = 0;
  auto file = files.Open(path, kGenericRead, kShareRead | kShareWrite, Disposition::OpenExisting,
                         &error);
  if (!file) return kLineBreak;
  LineReader reader(*file);
  std::string line;
  do {
    reader.ReadLine(line, &error);
    text += line;
    text += kLineBreak;
  } while (!reader.AtEnd(&error));
  return text;
}

}  // namespace

std::string CaptureConsoleOutput(SetupContext& ctx, const std::string& command) {
  const std::string interpreter = ctx.Os.system.Environment("ComSpec").value_or("");
  if (interpreter.empty()) return "";

  std::string folder = ctx.Os.system.Environment("Temp").value_or("");
  AppendBackslash(folder);
  const std::string path = CreateUniqueFile(ctx, folder);
  // Without a file of its own the command's output cannot be captured; the
  // result is what an empty capture gives.
  if (path.empty()) return ctx.Os.system.OemToAnsi(kLineBreak);
  TempFile temp(ctx.Os.files, path);

  const std::string commandLine = interpreter + " /c " + command + " > \"" + path + "\"";
  const ProcessResult run = ctx.Os.processes.RunHidden(commandLine, kCaptureFlags, kCaptureTimeoutMs);
  if (run.started && !run.finished) return "";

  return ctx.Os.system.OemToAnsi(ReadAllLines(ctx.Os.files, temp.Path()));
}

}  // namespace orfa
