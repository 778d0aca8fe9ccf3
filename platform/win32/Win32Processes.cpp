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

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

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

  intptr_t ShellExecute(const std::string& verb, const std::string& file,
                        const std::string& parameters, const std::string& directory,
                        int show) override {
    HINSTANCE result = ::ShellExecuteA(nullptr, OrNull(verb), file.c_str(), OrNull(parameters),
                                       OrNull(directory), show);
    return reinterpret_cast<intptr_t>(result);
  }

  ProcessResult RunHidden(const std::string& commandLine, uint32_t creationFlags,
                          uint32_t timeoutMs) override {
    ProcessResult result;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    // CreateProcessA may write into the command line.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                          nullptr, &startup, &info)) {
      result.error = LastError();
      return result;
    }
    UniqueKernel process(info.hProcess);
    UniqueKernel thread(info.hThread);
    result.started = true;
    switch (::WaitForSingleObject(process.Get(), timeoutMs)) {
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
