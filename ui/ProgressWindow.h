// The small always-on-top progress window, run on a thread of its own.
#pragma once

#include <string>

#include "app/SetupContext.h"

namespace orfa {

class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
};

void ShowProgress(SetupContext& ctx, const std::string& title, const std::string& text);
void HideProgress(SetupContext& ctx);

}  // namespace orfa
