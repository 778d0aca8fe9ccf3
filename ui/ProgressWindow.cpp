#include "ui/ProgressWindow.h"

#include <atomic>
#include <utility>

namespace orfa {

namespace {

const char* const kWindowClassName = "PlainWindow";
constexpr uint32_t kClassStyle = 0x203;          // CS_VREDRAW | CS_HREDRAW | CS_NOCLOSE
constexpr uint32_t kWindowExStyle = 0x20009;     // WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_STATICEDGE
constexpr uint32_t kWindowStyle = 0x400000;      // WS_DLGFRAME: no caption bar, no system menu
constexpr uint32_t kTextStyle = 0x50000000;      // WS_CHILD | WS_VISIBLE
constexpr uint32_t kBarStyle = 0x50040000;       // WS_CHILD | WS_VISIBLE | WS_THICKFRAME

// What the main thread last asked for while the window did not exist yet.
struct ProgressRequest {
  std::string title;
  std::string text;
  bool visible = true;
};

// Centred on a screen of the given size; a window larger than the screen
// starts at its edge.
int CentredOrigin(int screen, int window) {
  return screen >= window ? (screen - window) / 2 : 0;
}

}  // namespace

struct ProgressWindow::Shared {
  ~Shared() { delete pending.exchange(nullptr); }

  // Set by the window thread once the main window has been created; never reset.
  std::atomic<bool> ProgressWindowCreated{false};
  // Set by the window thread when it ended without a window (its class could
  // not be registered); the next Show starts a new one.
  std::atomic<bool> threadFailed{false};
  // Written by the window thread before it sets ProgressWindowCreated.
  int ProgressLeft = 0;
  int ProgressTop = 0;
  WindowId mainWindow = 0;
  WindowId textChild = 0;
  WindowId barChild = 0;
  // Owned; handed from the main thread to the window thread.
  std::atomic<ProgressRequest*> pending{nullptr};

  void Publish(ProgressRequest request) {
    delete pending.exchange(new ProgressRequest(std::move(request)));
  }
  std::unique_ptr<ProgressRequest> Take() {
    return std::unique_ptr<ProgressRequest>(pending.exchange(nullptr));
  }
};

namespace {

// The window thread's object: centres, registers, creates and shows the
// window, then runs the message loop until the window is destroyed. The port
// frees it when its body ends.
class TSetupForm {
 public:
  TSetupForm(ProgressPort& port, std::shared_ptr<ProgressWindow::Shared> shared)
      : port_(port), shared_(std::move(shared)) {}

  void Execute() {
    ProgressWindow::Shared& s = *shared_;
    s.ProgressLeft = CentredOrigin(port_.ScreenMetric(kSmCxScreen), kProgressWidth);
    s.ProgressTop = CentredOrigin(port_.ScreenMetric(kSmCyScreen), kProgressHeight);
    port_.InitCommonControls();
    if (!port_.RegisterWindowClass(WindowClassParams{kWindowClassName, kClassStyle})) {
      s.threadFailed.store(true);
      return;
    }

    std::unique_ptr<ProgressRequest> request = s.Take();
    if (!request) request = std::make_unique<ProgressRequest>();
    const WindowParams window{kWindowExStyle, kWindowClassName, request->title, kWindowStyle,
                            s.ProgressLeft, s.ProgressTop, kProgressWidth, kProgressHeight};
    const std::vector<WindowParams> children{
        {0, "STATIC", request->text, kTextStyle, 2, 2, 399, 20},
        {0, "msctls_progress32", "", kBarStyle, 2, 24, 400, 20},
    };
    const ProgressWindowHandles handles = port_.CreateProgressWindow(window, children);
    s.mainWindow = handles.main;
    s.textChild = handles.children.size() > 0 ? handles.children[0] : 0;
    s.barChild = handles.children.size() > 1 ? handles.children[1] : 0;
    s.ProgressWindowCreated.store(true);

    if (s.mainWindow != 0) {
      if (request->visible) port_.ShowWindow(s.mainWindow, kSwShowNormal);
      // A request made while the window was being created.
      if (std::unique_ptr<ProgressRequest> late = s.Take()) {
        port_.SetText(s.mainWindow, late->title);
        port_.SetText(s.textChild, late->text);
        port_.SetWindowPos(s.mainWindow, kWindowTopmost, s.ProgressLeft, s.ProgressTop,
                           kProgressWidth, kProgressHeight,
                           late->visible ? kSwpShowWindow : kSwpHideWindow);
      }
    }
    port_.RunMessageLoop();
  }

 private:
  ProgressPort& port_;
  std::shared_ptr<ProgressWindow::Shared> shared_;
};

}  // namespace

ProgressWindow::ProgressWindow(ProgressPort& port)
    : port_(port), shared_(std::make_shared<Shared>()) {}

ProgressWindow::~ProgressWindow() = default;

bool ProgressWindow::Created() const { return shared_->ProgressWindowCreated.load(); }
int ProgressWindow::Left() const { return shared_->ProgressLeft; }
int ProgressWindow::Top() const { return shared_->ProgressTop; }

void ProgressWindow::ApplyToWindow(bool visible) {
  const Shared& s = *shared_;
  if (s.mainWindow == 0) return;  // creation failed: nothing to act on
  if (visible) {
    port_.SetText(s.mainWindow, ProgressTitle);
    port_.SetText(s.textChild, ProgressText);
  }
  port_.SetWindowPos(s.mainWindow, kWindowTopmost, s.ProgressLeft, s.ProgressTop, kProgressWidth,
                     kProgressHeight, visible ? kSwpShowWindow : kSwpHideWindow);
}

// Before the window exists: leaves the request for the window thread, starts
// that thread when none is running, and acts on the window directly should
// the thread have created it meanwhile.
void ProgressWindow::Request(bool visible) {
  shared_->Publish(ProgressRequest{ProgressTitle, ProgressText, visible});
  if (visible && (!threadStarted_ || shared_->threadFailed.load())) {
    shared_->threadFailed.store(false);
    auto form = std::make_shared<TSetupForm>(port_, shared_);
    threadStarted_ = port_.StartThread([form] { form->Execute(); });
    return;
  }
  if (Created()) ApplyToWindow(visible);
}

void ProgressWindow::Show(const std::string& title, const std::string& text) {
  ProgressTitle = title;
  ProgressText = text;
  if (Created()) {
    ApplyToWindow(true);
  } else {
    Request(true);
  }
}

void ProgressWindow::Hide() {
  if (Created()) {
    ApplyToWindow(false);
  } else if (threadStarted_) {
    Request(false);
  }
}

void ShowProgress(SetupContext& ctx, const std::string& title, const std::string& text) {
  if (!ctx.ProgressWindow) ctx.ProgressWindow = std::make_unique<ProgressWindow>(ctx.Os.progress);
  ctx.ProgressWindow->Show(title, text);
}

void HideProgress(SetupContext& ctx) {
  if (ctx.ProgressWindow) ctx.ProgressWindow->Hide();
}

}  // namespace orfa
