#include "core/SetupContext.h"

#include <algorithm>

#include "platform/Failure.h"

namespace orfa {

SetupContext::SetupContext(Platform& platform) : Os(platform) {}
SetupContext::~SetupContext() = default;

void LogLine(SetupContext& ctx, const std::string& text, uint32_t error) {
  if (ctx.Log) ctx.Log(text, error);
}

bool IsRussianLocale(uint32_t lcid) {
  static const uint32_t kLocales[] = {0x0402, 0x0419, 0x0422, 0x0423, 0x043F, 0x0444, 0x0819};
  return std::find(std::begin(kLocales), std::end(kLocales), lcid) != std::end(kLocales);
}

bool OpenUserSettingsKey(SetupContext& ctx) {
  try {
    ctx.Registry->SelectRoot(RootKey::CurrentUser);
    ctx.Registry->OpenKey(ctx.MakerKey + ctx.ProductName, true);
    return true;
  } catch (const Failure&) {
    return false;
  }
}

bool ProductNotRunning(SetupContext& ctx) {
  uint32_t lastError = 0;
  auto mapping = ctx.Os.processes.CreateNamedMapping("orfa_memfile", 64, &lastError);
  // The handle, if any, closes here, so that no mapping of that name remains.
  return lastError != kErrorAlreadyExists;
}

}  // namespace orfa
