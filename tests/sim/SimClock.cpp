#include "tests/sim/SimClock.h"

#include <algorithm>

namespace orfa::sim {

void SimClock::Sleep(uint32_t ms) {
  sleeps_.push_back(ms);
  Advance(ms);
}

void SimClock::Advance(uint64_t ms) {
  const uint64_t target = now_ + ms;
  for (;;) {
    // The earliest due action; actions may schedule further ones while running.
    auto next = std::min_element(actions_.begin(), actions_.end(), [](const Action& a, const Action& b) {
      return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    if (next == actions_.end() || next->at > target) break;
    Action action = std::move(*next);
    actions_.erase(next);
    if (action.at > now_) now_ = action.at;
    action.run();
  }
  if (target > now_) now_ = target;  // an action may have slept further itself
}

void SimClock::At(uint64_t atMs, std::function<void()> action) {
  actions_.push_back(Action{atMs, nextOrder_++, std::move(action)});
}

uint64_t SimClock::TotalSlept() const {
  uint64_t total = 0;
  for (uint32_t ms : sleeps_) total += ms;
  return total;
}

}  // namespace orfa::sim
