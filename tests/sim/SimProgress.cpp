#include "tests/sim/SimProgress.h"

#include <cstdio>
#include <utility>

namespace orfa::sim {

namespace {

std::string Hex(uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
  return buffer;
}

std::string Id(WindowId id) { return id == kWindowTopmost ? "TOPMOST" : Hex(id); }

}  // namespace

bool SimProgressPort::StartThread(std::function<void()> body) {
  calls_.push_back("StartThread");
  if (failThreadStart) return false;
  threads_.push_back(std::move(body));
  ++threadsStarted_;
  return true;
}

bool SimProgressPort::RunNextThread() {
  if (threads_.empty()) return false;
  std::function<void()> body = std::move(threads_.front());
  threads_.pop_front();
  body();
  return true;
}

int SimProgressPort::ScreenMetric(int index) {
  calls_.push_back("GetSystemMetrics " + std::to_string(index));
  if (index == kSmCxScreen) return screenWidth;
  if (index == kSmCyScreen) return screenHeight;
  return 0;
}

void SimProgressPort::InitCommonControls() { calls_.push_back("InitCommonControls"); }

bool SimProgressPort::RegisterWindowClass(const WindowClassParams& windowClass) {
  calls_.push_back("RegisterClass " + windowClass.name + " " + Hex(windowClass.style));
  // Like the real system: a class of that name exists only once per module.
  return classes_.emplace(windowClass.name, windowClass).second;
}

ProgressWindowHandles SimProgressPort::CreateProgressWindow(const WindowParams& window,
                                                            const std::vector<WindowParams>& children) {
  calls_.push_back("CreateWindow " + window.className + " \"" + window.text + "\" " +
                   Hex(window.exStyle) + " " + Hex(window.style) + " " + std::to_string(window.x) +
                   "," + std::to_string(window.y) + " " + std::to_string(window.width) + "x" +
                   std::to_string(window.height));
  ProgressWindowHandles handles;
  if (failWindowCreation || classes_.count(window.className) == 0) return handles;
  const WindowId main = nextId_++;
  Window w{window, 0, window.text, false, (window.exStyle & 0x8) != 0,
           window.x, window.y, window.width, window.height};
  windows_[main] = w;
  handles.main = main;
  for (const WindowParams& child : children) {
    calls_.push_back("CreateChild " + child.className + " \"" + child.text + "\" " + Hex(child.style) +
                     " " + std::to_string(child.x) + "," + std::to_string(child.y) + " " +
                     std::to_string(child.width) + "x" + std::to_string(child.height));
    const WindowId id = nextId_++;
    windows_[id] = Window{child, main, child.text, (child.style & 0x10000000) != 0, false,
                          child.x, child.y, child.width, child.height};
    handles.children.push_back(id);
  }
  if (duringCreation) {
    std::function<void()> hook = std::move(duringCreation);
    duringCreation = nullptr;
    hook();
  }
  return handles;
}

void SimProgressPort::ShowWindow(WindowId window, int showCommand) {
  calls_.push_back("ShowWindow " + Id(window) + " " + std::to_string(showCommand));
  auto it = windows_.find(window);
  if (it != windows_.end()) it->second.visible = showCommand != kSwHide;
}

void SimProgressPort::SetText(WindowId window, const std::string& text) {
  calls_.push_back("SetWindowText " + Id(window) + " \"" + text + "\"");
  auto it = windows_.find(window);
  if (it != windows_.end()) it->second.text = text;
}

void SimProgressPort::SetWindowPos(WindowId window, WindowId insertAfter, int x, int y, int width,
                                   int height, uint32_t flags) {
  calls_.push_back("SetWindowPos " + Id(window) + " " + Id(insertAfter) + " " + std::to_string(x) +
                   "," + std::to_string(y) + " " + std::to_string(width) + "x" +
                   std::to_string(height) + " " + Hex(flags));
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  Window& w = it->second;
  w.x = x;
  w.y = y;
  w.width = width;
  w.height = height;
  if (insertAfter == kWindowTopmost) w.topmost = true;
  if (flags & kSwpShowWindow) w.visible = true;
  if (flags & kSwpHideWindow) w.visible = false;
}

void SimProgressPort::RunMessageLoop() { calls_.push_back("MessageLoop"); }

const SimProgressPort::Window* SimProgressPort::Find(WindowId id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : &it->second;
}

}  // namespace orfa::sim
