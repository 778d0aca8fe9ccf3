#include "app/SetupContext.h"

#include <algorithm>

#include "platform/Failure.h"
#include "sysinfo/SystemName.h"
#include "ui/ProgressWindow.h"

namespace orfa {

SetupContext::SetupContext(Platform& platform) : Os(platform) {}
SetupContext::~SetupContext() = default;

uint32_t SetupContext::Random(uint32_t range) {
  // A small linear congruential generator; only temporary file names use it.
  RandomState = RandomState * 1103515245u + 12345u;
  if (range == 0) return 0;
  return ((RandomState >> 16) & 0x7FFFu) % range;
}

bool IsRussianLocale(uint32_t lcid) {
  static const uint32_t kLocales[] = {0x0402, 0x0419, 0x0422, 0x0423, 0x043F, 0x0444, 0x0819};
  return std::find(std::begin(kLocales), std::end(kLocales), lcid) != std::end(kLocales);
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void InitSetupContext(SetupContext& ctx) {
  ctx.RandomState = static_cast<uint32_t>(ctx.Os.clock.NowMs());
  ctx.UserLcid = ctx.Os.system.UserDefaultLcid();
  ctx.UseRussian = IsRussianLocale(ctx.UserLcid);
  auto version = ctx.Os.system.Version(true);
  if (!version) version = ctx.Os.system.Version(false);
  if (version) ctx.PlatformId = version->platformId;
  BuildSystemName(ctx);  // sets Is64BitSystem; the name itself is not kept
  const uint32_t access = ctx.Is64BitSystem ? (kKeyAllAccess | kKeyWow64_64Key) : kKeyAllAccess;
  ctx.Registry = std::make_unique<orfa::Registry>(ctx.Os.registry, access);
  ctx.Arguments = ctx.Os.processes.CommandLineArguments();
  ctx.CommandWord = ctx.Arguments.empty() ? std::string() : LowerAscii(ctx.Arguments[0]);
}

void FreeSetupContext(SetupContext& ctx) {
  ctx.Registry.reset();
  ctx.Catalog = MessageCatalog();
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
