// The small always-on-top progress window, run on a thread of its own. Part
// of the installation kit: only the checked replacement shows it, never the
// update flow (README, Layout).
//
// The first ShowProgress starts the window thread (TSetupForm), which
// centres, creates and shows the window and then runs its message loop; the
// main thread only changes the window's texts and shows or hides it. Until
// the window exists, the latest request of the main thread waits for the
// window thread, which applies it as it creates the window, so no second
// thread is ever started while one is creating the window.
#pragma once

#include <memory>
#include <string>

#include "core/SetupContext.h"
#include "platform/ProgressPort.h"

namespace orfa {

constexpr int kProgressWidth = 408;
constexpr int kProgressHeight = 76;

class ProgressWindow {
 public:
  explicit ProgressWindow(ProgressPort& port);
  virtual ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  void Show(const std::string& title, const std::string& text);
  void Hide();

  // Whether the window thread has created the main window.
  bool Created() const;
  // The window's place, valid once Created() is true.
  int Left() const;
  int Top() const;

  struct Shared;  // what the window thread and the main thread share

 private:
  void ApplyToWindow(bool visible);
  void Request(bool visible);

  ProgressPort& port_;
  std::shared_ptr<Shared> shared_;
  bool threadStarted_ = false;
  // The texts last asked for, kept by the main thread.
  std::string ProgressTitle;
  std::string ProgressText;
};

void ShowProgress(SetupContext& ctx, const std::string& title, const std::string& text);
void HideProgress(SetupContext& ctx);

}  // namespace orfa
