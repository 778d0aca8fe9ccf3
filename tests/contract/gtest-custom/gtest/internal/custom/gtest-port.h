// GoogleTest adjustments for MinGW with the win32 thread model, whose
// standard library has no std::mutex: GoogleTest's Notification (used only by
// its own thread helpers) is provided here without it.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : notified_(false) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing
