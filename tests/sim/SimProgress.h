// A simulated window system for the progress window: it records every call
// in order, keeps the state of the windows it made, and holds started
// threads until the test runs them, so a test decides when the window
// thread does its work.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ProgressPort.h"

namespace orfa::sim {

class SimProgressPort : public ProgressPort {
 public:
  struct Window {
    WindowParams params;
    WindowId parent = 0;
    std::string text;
    bool visible = false;
    bool topmost = false;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
  };

  // Screen size reported for SM_CXSCREEN and SM_CYSCREEN.
  int screenWidth = 1024;
  int screenHeight = 768;
  bool failThreadStart = false;
  bool failWindowCreation = false;

  bool StartThread(std::function<void()> body) override;
  int ScreenMetric(int index) override;
  void InitCommonControls() override;
  bool RegisterWindowClass(const WindowClassParams& windowClass) override;
  ProgressWindowHandles CreateProgressWindow(const WindowParams& window,
                                             const std::vector<WindowParams>& children) override;
  void ShowWindow(WindowId window, int showCommand) override;
  void SetText(WindowId window, const std::string& text) override;
  void SetWindowPos(WindowId window, WindowId insertAfter, int x, int y, int width, int height,
                    uint32_t flags) override;
  void RunMessageLoop() override;

  // Runs the oldest thread that was started and not yet run; false when none waits.
  bool RunNextThread();
  size_t WaitingThreads() const { return threads_.size(); }
  size_t ThreadsStarted() const { return threadsStarted_; }

  // Runs a piece of the test's "main thread" in the middle of the next
  // window creation, after the window and its children exist and before
  // CreateProgressWindow returns.
  std::function<void()> duringCreation;

  const std::vector<std::string>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  const Window* Find(WindowId id) const;
  const std::map<std::string, WindowClassParams>& Classes() const { return classes_; }

 private:
  std::deque<std::function<void()>> threads_;
  size_t threadsStarted_ = 0;
  std::vector<std::string> calls_;
  std::map<std::string, WindowClassParams> classes_;
  std::map<WindowId, Window> windows_;
  WindowId nextId_ = 0x100;
};

}  // namespace orfa::sim
