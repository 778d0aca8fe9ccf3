// Simulated message boxes: every box is recorded, and answers come from a
// script. A box with buttons other than OK takes the next scripted answer;
// with none left a yes/no box answers IDNO and is marked unscripted. OK boxes
// answer IDOK and take nothing from the script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "platform/Platform.h"

namespace orfa::sim {

class SimClock;

struct MessageBoxCall {
  MessageBoxRequest request;  // text, caption, style, language, code page
  uint64_t timeMs = 0;        // simulated time of the call
  int answer = 0;
  bool unscripted = false;  // a question that no scripted answer met
};

class SimUi : public Ui {
 public:
  explicit SimUi(SimClock& clock) : clock_(clock) {}

  // --- the seam
  int MessageBox(const MessageBoxRequest& request) override;

  // --- for tests
  void Answer(int button) { answers_.push_back(button); }  // kIdYes, kIdNo, ...
  size_t PendingAnswers() const { return answers_.size(); }
  const std::vector<MessageBoxCall>& Calls() const { return calls_; }
  size_t UnscriptedCount() const;
  void Clear() { calls_.clear(); }
  // Runs inside every MessageBox call, after it is recorded (the box is "on screen").
  void OnMessageBox(std::function<void(const MessageBoxCall&)> hook) { hook_ = std::move(hook); }

 private:
  SimClock& clock_;
  std::deque<int> answers_;
  std::vector<MessageBoxCall> calls_;
  std::function<void(const MessageBoxCall&)> hook_;
};

}  // namespace orfa::sim
