// The window-system services the progress window needs. Its own thread and
// window live behind this seam; the logic of showing, hiding and placing the
// window is portable (ui/ProgressWindow.*).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace orfa {

// SetWindowPos's insert-after value HWND_TOPMOST.
constexpr WindowId kWindowTopmost = static_cast<WindowId>(-1);

constexpr uint32_t kSwpShowWindow = 0x40;
constexpr uint32_t kSwpHideWindow = 0x80;
constexpr int kSwHide = 0;
constexpr int kSwShowNormal = 1;

// A window class whose procedure is the progress window's own: it creates the
// children given to CreateProgressWindow while the window is created, and
// ends the thread's message loop (PostQuitMessage(0)) when the window is
// destroyed. The port supplies the module instance, no icon (LoadIconA with
// the module and no name), the arrow cursor, the stock gray brush and no menu.
struct WindowClassParams {
  std::string name;
  uint32_t style = 0;
};

// One window to create: CreateWindowExA's arguments, without parent, menu or
// control identifier (children get the main window as parent).
struct WindowParams {
  uint32_t exStyle = 0;
  std::string className;
  std::string text;
  uint32_t style = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct ProgressWindowHandles {
  WindowId main = 0;  // 0 when the window could not be created
  std::vector<WindowId> children;  // in the order given, 0 for a child that failed
};

class ProgressPort {
 public:
  virtual ~ProgressPort() = default;
  // Starts a thread that runs body at once and frees it when it ends. False
  // when no thread could be started. A failure that escapes body ends that
  // thread, and nothing else.
  virtual bool StartThread(std::function<void()> body) = 0;
  // GetSystemMetrics.
  virtual int ScreenMetric(int index) = 0;
  virtual void InitCommonControls() = 0;
  virtual bool RegisterWindowClass(const WindowClassParams& windowClass) = 0;
  // Creates the main window; its procedure creates the children, in order,
  // while it handles the window's creation. A failure on the way (no memory
  // for the children's handles) is a failed creation: no window, main 0.
  virtual ProgressWindowHandles CreateProgressWindow(const WindowParams& window,
                                                     const std::vector<WindowParams>& children) = 0;
  virtual void ShowWindow(WindowId window, int showCommand) = 0;
  // SetWindowTextA.
  virtual void SetText(WindowId window, const std::string& text) = 0;
  virtual void SetWindowPos(WindowId window, WindowId insertAfter, int x, int y, int width, int height,
                            uint32_t flags) = 0;
  // Gets, translates and dispatches the calling thread's messages until the
  // quit message arrives.
  virtual void RunMessageLoop() = 0;
};

}  // namespace orfa
