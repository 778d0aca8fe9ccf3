#include "tests/sim/SimProcesses.h"

#include <algorithm>

#include "tests/sim/SimText.h"
#include "tests/sim/SimWindows.h"

namespace orfa::sim {

namespace {

class MappingHandle : public Handle {
 public:
  MappingHandle(std::shared_ptr<std::map<std::string, size_t>> mappings, std::string name)
      : mappings_(std::move(mappings)), name_(std::move(name)) {
    ++(*mappings_)[name_];
  }
  ~MappingHandle() override {
    auto found = mappings_->find(name_);
    if (found != mappings_->end() && --found->second == 0) mappings_->erase(found);
  }

 private:
  std::shared_ptr<std::map<std::string, size_t>> mappings_;
  std::string name_;
};

}  // namespace

SimProcesses::SimProcesses(SimWindows& sim)
    : sim_(sim), mappings_(std::make_shared<std::map<std::string, size_t>>()) {}

SimProcesses::~SimProcesses() = default;

std::unique_ptr<Handle> SimProcesses::CreateNamedMapping(const std::string& name, uint32_t size,
                                                        uint32_t* lastError) {
  uint32_t code = kErrorSuccess;
  std::unique_ptr<Handle> handle;
  if (mappingError_ != 0) {
    code = mappingError_;
  } else {
    // An existing mapping of that name is opened, and the call says so.
    code = MappingExists(name) ? kErrorAlreadyExists : kErrorSuccess;
    handle = std::make_unique<MappingHandle>(mappings_, name);
  }
  mappingCalls_.push_back(MappingCall{name, size, code});
  if (lastError) *lastError = code;
  return handle;
}

void SimProcesses::HoldMapping(const std::string& name) { ++(*mappings_)[name]; }

void SimProcesses::ReleaseMapping(const std::string& name) {
  auto found = mappings_->find(name);
  if (found != mappings_->end() && --found->second == 0) mappings_->erase(found);
}

bool SimProcesses::MappingExists(const std::string& name) const { return mappings_->count(name) != 0; }

WindowId SimProcesses::AddWindow(const std::string& className) {
  WindowId id = nextWindow_;
  nextWindow_ += 0x10;
  windows_.push_back(Window{id, className, nullptr});
  return id;
}

void SimProcesses::RemoveWindow(WindowId window) {
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [window](const Window& w) { return w.id == window; }),
                 windows_.end());
}

void SimProcesses::OnMessage(WindowId window, std::function<void(const PostedMessage&)> handler) {
  for (auto& w : windows_) {
    if (w.id == window) w.handler = std::move(handler);
  }
}

std::optional<WindowId> SimProcesses::FindTopLevelWindow(const std::string& className) {
  for (const auto& w : windows_) {
    if (SameNoCase(w.className, className)) return w.id;
  }
  return std::nullopt;
}

bool SimProcesses::PostMessage(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::function<void(const PostedMessage&)> handler;
  bool delivered = false;
  for (const auto& w : windows_) {
    if (w.id == window) {
      delivered = true;
      handler = w.handler;
    }
  }
  PostedMessage posted{window, message, wParam, lParam, delivered, sim_.clock.NowMs()};
  posted_.push_back(posted);
  if (handler) handler(posted);
  return delivered;
}

bool SimProcesses::ShellExecuteAsDesktopUser(const std::string& verb, const std::string& file,
                                             const std::string& parameters, const std::string& directory, int show) {
  if (!desktopShell_) return false;
  shellCalls_.push_back(
      ShellExecuteCall{verb, file, parameters, directory, show, sim_.files.CurrentDirectory()});
  return true;
}

ProcessResult SimProcesses::RunCaptured(const std::string& application, const std::string& commandLine,
                                        uint32_t creationFlags, uint32_t timeoutMs) {
  runCalls_.push_back(
      RunCapturedCall{application, commandLine, creationFlags, timeoutMs, sim_.files.CurrentDirectory()});
  if (!runHandler_) {
    ProcessResult notStarted;
    notStarted.error = kErrorFileNotFound;
    return notStarted;
  }
  RunHandler handler = runHandler_;
  return handler(commandLine, sim_);
}

void SimProcesses::OnConsoleCommand(std::function<std::string(const std::string& command)> output) {
  OnRunCaptured([output](const std::string& commandLine, SimWindows&) {
    ProcessResult result;
    result.started = true;
    result.finished = true;
    const std::string switches = "\" /d /c ";
    const size_t start = commandLine.find(switches);
    if (commandLine.empty() || commandLine.front() != '"' || start == std::string::npos) return result;
    result.output = output(commandLine.substr(start + switches.size()));
    return result;
  });
}

}  // namespace orfa::sim
