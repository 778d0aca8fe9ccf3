// Simulated time: nothing waits for real. Sleep advances the clock at once and
// runs the actions scheduled up to the new time, in time order.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Platform.h"

namespace orfa::sim {

class SimClock : public Clock {
 public:
  // --- the seam
  void Sleep(uint32_t ms) override;  // recorded, then Advance(ms)

  // --- for tests and the other simulated parts
  uint64_t NowMs() const { return now_; }  // the simulated time in milliseconds
  void SetNow(uint64_t ms) { now_ = ms; }  // sets the time without running anything
  void Advance(uint64_t ms);               // moves on like a Sleep that is not recorded
  // Runs `action` once the clock reaches `atMs` (at the next Sleep/Advance when it is
  // already due). Actions due at the same time run in the order they were scheduled.
  void At(uint64_t atMs, std::function<void()> action);
  void After(uint64_t delayMs, std::function<void()> action) { At(now_ + delayMs, std::move(action)); }
  const std::vector<uint32_t>& Sleeps() const { return sleeps_; }  // every Sleep, in order
  uint64_t TotalSlept() const;
  size_t PendingActions() const { return actions_.size(); }

 private:
  struct Action {
    uint64_t at;
    uint64_t order;
    std::function<void()> run;
  };
  uint64_t now_ = 1000000;
  uint64_t nextOrder_ = 0;
  std::vector<Action> actions_;
  std::vector<uint32_t> sleeps_;
};

}  // namespace orfa::sim
