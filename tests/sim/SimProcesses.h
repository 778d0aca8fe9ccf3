// Simulated processes, windows and the shell: named mappings (some held by
// "other processes"), top-level windows by class name that record the messages
// posted to them, starts asked of the desktop shell and hidden console processes whose output is captured.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace orfa::sim {

class SimWindows;

struct PostedMessage {
  WindowId window;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
  bool delivered;  // false when no such window exists
  uint64_t timeMs;
};

struct ShellExecuteCall {
  std::string verb, file, parameters, directory;
  int show;
  std::string currentDirectory;  // the process's current directory at the call
};

struct RunCapturedCall {
  std::string application;
  std::string commandLine;
  uint32_t creationFlags;
  uint32_t timeoutMs;
  std::string currentDirectory;
};

struct MappingCall {
  std::string name;
  uint32_t size;
  uint32_t lastError;
};

constexpr uint32_t kWmQuit = 18;

class SimProcesses : public Processes {
 public:
  explicit SimProcesses(SimWindows& sim);
  ~SimProcesses() override;

  // --- the seam
  std::unique_ptr<Handle> CreateNamedMapping(const std::string& name, uint32_t size, uint32_t* lastError) override;
  std::optional<WindowId> FindTopLevelWindow(const std::string& className) override;
  bool PostMessage(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  bool ShellExecuteAsDesktopUser(const std::string& verb, const std::string& file, const std::string& parameters,
                                 const std::string& directory, int show) override;
  ProcessResult RunCaptured(const std::string& application, const std::string& commandLine, uint32_t creationFlags,
                            uint32_t timeoutMs) override;
  std::vector<std::string> CommandLineArguments() override { return arguments_; }

  // --- for tests: mappings (names are case-sensitive, as kernel object names are)
  void HoldMapping(const std::string& name);     // another process holds one of this name
  void ReleaseMapping(const std::string& name);  // ... and lets it go
  bool MappingExists(const std::string& name) const;
  void MappingFails(uint32_t error) { mappingError_ = error; }  // CreateNamedMapping gives null and it; 0 ends it
  const std::vector<MappingCall>& MappingCalls() const { return mappingCalls_; }

  // --- for tests: windows (class names ignore case)
  WindowId AddWindow(const std::string& className);
  void RemoveWindow(WindowId window);
  // Runs for every message posted to the window, after it is recorded.
  void OnMessage(WindowId window, std::function<void(const PostedMessage&)> handler);
  const std::vector<PostedMessage>& Posted() const { return posted_; }

  // --- for tests: shell and child processes
  // Whether a desktop shell answers ShellExecuteAsDesktopUser (default: yes).
  void SetDesktopShell(bool present) { desktopShell_ = present; }
  // Both kinds of start, in order; asDesktopUser tells them apart.
  const std::vector<ShellExecuteCall>& ShellExecuteCalls() const { return shellCalls_; }
  using RunHandler = std::function<ProcessResult(const std::string& commandLine, SimWindows& sim)>;
  // Emulates the started process (its result carries what it printed);
  // without one nothing starts (error 2).
  void OnRunCaptured(RunHandler handler) { runHandler_ = std::move(handler); }
  // A command interpreter for command lines of the form
  //   "<interpreter>" /d /c <command>
  // that prints output(command) and finishes; other command lines print nothing.
  void OnConsoleCommand(std::function<std::string(const std::string& command)> output);
  const std::vector<RunCapturedCall>& RunCapturedCalls() const { return runCalls_; }
  void SetArguments(std::vector<std::string> arguments) { arguments_ = std::move(arguments); }

 private:
  struct Window {
    WindowId id;
    std::string className;
    std::function<void(const PostedMessage&)> handler;
  };

  SimWindows& sim_;
  std::shared_ptr<std::map<std::string, size_t>> mappings_;  // name -> holders
  uint32_t mappingError_ = 0;
  std::vector<MappingCall> mappingCalls_;
  std::vector<Window> windows_;
  WindowId nextWindow_ = 0x10010;
  std::vector<PostedMessage> posted_;
  bool desktopShell_ = true;
  std::vector<ShellExecuteCall> shellCalls_;
  RunHandler runHandler_;
  std::vector<RunCapturedCall> runCalls_;
  std::vector<std::string> arguments_;
};

}  // namespace orfa::sim
