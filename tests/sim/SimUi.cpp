#include "tests/sim/SimUi.h"

#include "tests/sim/SimClock.h"

namespace orfa::sim {

int SimUi::MessageBox(const MessageBoxRequest& request) {
  MessageBoxCall call;
  call.request = request;
  call.timeMs = clock_.NowMs();
  const bool okOnly = (request.style & 0xF) == kMbOk;
  if (okOnly) {
    call.answer = kIdOk;
  } else if (!answers_.empty()) {
    call.answer = answers_.front();
    answers_.pop_front();
  } else {
    call.answer = kIdNo;
    call.unscripted = true;
  }
  calls_.push_back(call);
  if (hook_) hook_(call);
  return call.answer;
}

size_t SimUi::UnscriptedCount() const {
  size_t count = 0;
  for (const auto& call : calls_) count += call.unscripted ? 1 : 0;
  return count;
}

}  // namespace orfa::sim
