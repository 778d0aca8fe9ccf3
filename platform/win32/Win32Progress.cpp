// The progress window's window-system services over the real Windows API.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <utility>

#include "platform/ProgressPort.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

HWND ToHwnd(WindowId window) { return reinterpret_cast<HWND>(window); }
WindowId ToId(HWND window) { return reinterpret_cast<WindowId>(window); }

// Handed to the window procedure through CreateWindowExA's creation data.
struct CreationData {
  const std::vector<WindowParams>* children = nullptr;
  std::vector<WindowId> handles;
};

// Creates the children, in order, and records their handles (null for a
// child that failed).
void CreateChildren(HWND window, const CREATESTRUCTA& create) {
  auto* data = static_cast<CreationData*>(create.lpCreateParams);
  if (data == nullptr || data->children == nullptr) return;
  for (const WindowParams& child : *data->children) {
    HWND handle = CreateWindowExA(child.exStyle, child.className.c_str(), child.text.c_str(),
                                  child.style, child.x, child.y, child.width, child.height, window,
                                  nullptr, create.hInstance, nullptr);
    data->handles.push_back(ToId(handle));
  }
}

// Called by the system, from inside CreateWindowExA and DispatchMessageA: no
// exception may leave it, since the unwinder cannot pass user32's frames (on
// i386 it ends the program instead).
LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      // A failure here (no memory for the children's handles) fails the
      // window's creation: the system destroys the window and its children
      // (WM_DESTROY ends the thread's message loop) and CreateWindowExA
      // returns null, which the caller knows as its failure.
      try {
        CreateChildren(window, *reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
      } catch (...) {
        return -1;
      }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

// The thread's entry, called by the system: a failure that escapes the body
// ends this thread only (exit code 1), and the program goes on without what
// the thread would have made.
DWORD WINAPI ThreadMain(LPVOID parameter) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  try {
    (*body)();
  } catch (...) {
    return 1;
  }
  return 0;
}

class Win32ProgressPort : public ProgressPort {
 public:
  bool StartThread(std::function<void()> body) override {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    DWORD id = 0;
    UniqueKernel thread(CreateThread(nullptr, 0, ThreadMain, owned.get(), 0, &id));
    if (!thread) return false;
    owned.release();  // the thread frees it when its body ends
    return true;
  }

  int ScreenMetric(int index) override { return GetSystemMetrics(index); }

  void InitCommonControls() override { ::InitCommonControls(); }

  bool RegisterWindowClass(const WindowClassParams& windowClass) override {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = windowClass.style;
    wc.lpfnWndProc = ProgressWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, nullptr);
    wc.hIconSm = LoadIconA(instance, nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = windowClass.name.c_str();
    return RegisterClassExA(&wc) != 0;
  }

  ProgressWindowHandles CreateProgressWindow(const WindowParams& window,
                                             const std::vector<WindowParams>& children) override {
    CreationData data;
    data.children = &children;
    HWND handle = CreateWindowExA(window.exStyle, window.className.c_str(), window.text.c_str(),
                                  window.style, window.x, window.y, window.width, window.height,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), &data);
    ProgressWindowHandles handles;
    handles.main = ToId(handle);
    if (handle != nullptr) handles.children = std::move(data.handles);
    return handles;
  }

  void ShowWindow(WindowId window, int showCommand) override {
    ::ShowWindow(ToHwnd(window), showCommand);
  }

  void SetText(WindowId window, const std::string& text) override {
    SetWindowTextA(ToHwnd(window), text.c_str());
  }

  void SetWindowPos(WindowId window, WindowId insertAfter, int x, int y, int width, int height,
                    uint32_t flags) override {
    ::SetWindowPos(ToHwnd(window), ToHwnd(insertAfter), x, y, width, height, flags);
  }

  void RunMessageLoop() override {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
};

}  // namespace

std::unique_ptr<ProgressPort> MakeProgress() { return std::make_unique<Win32ProgressPort>(); }

}  // namespace orfa::win32
