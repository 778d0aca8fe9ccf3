// Runs one console command through the system's own command interpreter,
// hidden, and returns what it printed, converted from the OEM to the ANSI
// code page. The interpreter is the one in the system folder, never the
// environment's ComSpec, which the unelevated user may set; "/d" keeps the
// user's AutoRun command out. The output comes back through a pipe, so no
// file is made in a folder the user owns.
#include "core/Text.h"
#include "sysinfo/SystemName.h"

namespace orfa {

namespace {

constexpr uint32_t kCreateNewConsole = 0x10;
constexpr uint32_t kCreateNewProcessGroup = 0x200;
constexpr uint32_t kCreateNoWindow = 0x08000000;
constexpr uint32_t kCaptureFlags = kCreateNewConsole | kCreateNewProcessGroup;  // 0x210
// Where no window may appear: a console of its own without a window.
constexpr uint32_t kWindowlessCaptureFlags = kCreateNoWindow | kCreateNewProcessGroup;

// A console command that has not ended after this long is ended and counts
// as having printed nothing.
constexpr uint32_t kCaptureTimeoutMs = 30000;

const char* const kLineBreak = "\r\n";

// The output as a text file's lines, each followed by CR LF. A line ends at
// LF; a CR is dropped wherever it stands. There is always at least one line,
// so empty output gives one CR LF.
std::string JoinLines(const std::string& output) {
  std::string text;
  size_t pos = 0;
  do {
    const size_t end = output.find('\n', pos);
    const size_t stop = end == std::string::npos ? output.size() : end;
    for (size_t i = pos; i < stop; ++i) {
      if (output[i] != '\r') text += output[i];
    }
    text += kLineBreak;
    pos = end == std::string::npos ? output.size() : end + 1;
  } while (pos < output.size());
  return text;
}

}  // namespace

std::string CaptureConsoleOutput(SetupContext& ctx, const std::string& command) {
  std::string interpreter = ctx.Os.files.SystemDirectory();
  if (interpreter.empty()) return "";
  AppendBackslash(interpreter);
  interpreter += "cmd.exe";

  const std::string commandLine = "\"" + interpreter + "\" /d /c " + command;
  const ProcessResult run =
      ctx.Os.processes.RunCaptured(interpreter, commandLine,
                                   ctx.NoWindows ? kWindowlessCaptureFlags : kCaptureFlags,
                                   kCaptureTimeoutMs);
  if (run.started && !run.finished) return "";

  return ctx.Os.system.OemToAnsi(JoinLines(run.output));
}

}  // namespace orfa
