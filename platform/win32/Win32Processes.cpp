// Processes, windows and the shell.
#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

class KernelHandle : public Handle {
 public:
  explicit KernelHandle(UniqueKernel handle) : handle_(std::move(handle)) {}

 private:
  UniqueKernel handle_;
};

// How long a process that was ended may take to go away.
constexpr DWORD kTerminateWaitMs = 5000;

// How much the pipe holds before the child's writes wait for the reader,
// and how often the reader looks while the child runs.
constexpr DWORD kPipeBufferBytes = 64 * 1024;
constexpr DWORD kPollMs = 10;

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

// Appends to output what the pipe holds now, without waiting for more;
// false when it held nothing.
bool ReadAvailable(HANDLE pipe, std::string& output) {
  DWORD available = 0;
  if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) {
    return false;
  }
  const size_t before = output.size();
  output.resize(before + available);
  DWORD got = 0;
  if (!::ReadFile(pipe, &output[before], available, &got, nullptr)) got = 0;
  output.resize(before + got);
  return got != 0;
}

// Drains the pipe while the process runs, until it ends or timeoutMs
// (INFINITE: no bound) have passed, give or take one poll; what it wrote
// before it ended is all read. A process that never stops writing is still
// bound by the time. Returns the last result of waiting for the process.
DWORD ReadWhileRunning(HANDLE pipe, HANDLE process, uint32_t timeoutMs, std::string& output) {
  const DWORD start = ::GetTickCount();
  const auto late = [&] {
    return timeoutMs != INFINITE && ::GetTickCount() - start >= timeoutMs;  // wraps correctly
  };
  for (;;) {
    const bool read = ReadAvailable(pipe, output);
    const bool overdue = late();
    const DWORD waited = ::WaitForSingleObject(process, read || overdue ? 0 : kPollMs);
    if (waited == WAIT_OBJECT_0) {
      while (ReadAvailable(pipe, output) && !late()) {
      }
      return waited;
    }
    if (waited != WAIT_TIMEOUT || overdue) return waited;
  }
}

class Win32Processes : public Processes {
 public:
  std::unique_ptr<Handle> CreateNamedMapping(const std::string& name, uint32_t size,
                                             uint32_t* lastError) override {
    ::SetLastError(ERROR_SUCCESS);
    UniqueKernel mapping(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              size, name.c_str()));
    *lastError = LastError();
    if (!mapping) return nullptr;
    return std::make_unique<KernelHandle>(std::move(mapping));
  }

  std::optional<WindowId> FindTopLevelWindow(const std::string& className) override {
    HWND window = ::FindWindowA(className.c_str(), nullptr);
    if (window == nullptr) return std::nullopt;
    return reinterpret_cast<WindowId>(window);
  }

  bool PostMessage(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    return ::PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam) != FALSE;
  }

  bool ShellExecuteAsDesktopUser(const std::string& verb, const std::string& file,
                                 const std::string& parameters, const std::string& directory,
                                 int show) override {
    return ShellExecuteThroughDesktop(verb, file, parameters, directory, show);
  }

  ProcessResult RunCaptured(const std::string& application, const std::string& commandLine,
                            uint32_t creationFlags, uint32_t timeoutMs) override {
    ProcessResult result;
    // The read end stays this process's own; only the write end is inheritable.
    UniqueKernel readEnd;
    UniqueKernel writeEnd;
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!::CreatePipe(&read, &write, nullptr, kPipeBufferBytes)) {
      result.error = LastError();
      return result;
    }
    readEnd.Reset(read);
    writeEnd.Reset(write);
    if (!::SetHandleInformation(writeEnd.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
      result.error = LastError();
      return result;
    }
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    UniqueFile nul(::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                 0, nullptr));

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nul ? nul.Get() : nullptr;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = nul ? nul.Get() : nullptr;
    PROCESS_INFORMATION info{};
    // CreateProcessA may write into the command line.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const BOOL created = ::CreateProcessA(OrNull(application), line.data(), nullptr, nullptr, TRUE,
                                          creationFlags, nullptr, nullptr, &startup, &info);
    const uint32_t createError = LastError();
    // Only the child holds these now: the pipe ends once the child (and
    // anything it passed the handle on to) is gone.
    writeEnd.Reset();
    nul.Reset();
    if (!created) {
      result.error = createError;
      return result;
    }
    UniqueKernel process(info.hProcess);
    UniqueKernel thread(info.hThread);
    result.started = true;
    switch (ReadWhileRunning(readEnd.Get(), process.Get(), timeoutMs, result.output)) {
      case WAIT_OBJECT_0:
        result.finished = true;
        break;
      case WAIT_TIMEOUT:
        result.error = kErrorTimeout;
        ::TerminateProcess(process.Get(), kErrorTimeout);
        ::WaitForSingleObject(process.Get(), kTerminateWaitMs);
        break;
      default:
        result.error = LastError();
        ::TerminateProcess(process.Get(), 1);
        break;
    }
    return result;
  }

  std::vector<std::string> CommandLineArguments() override {
    const char* line = ::GetCommandLineA();
    return SplitCommandLine(line == nullptr ? std::string() : std::string(line));
  }
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses() { return std::make_unique<Win32Processes>(); }

}  // namespace orfa::win32
