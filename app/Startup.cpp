#include "app/Startup.h"

#include "app/Unattended.h"
#include "sysinfo/SystemName.h"

namespace orfa {

void InitSetupContext(SetupContext& ctx) {
  ctx.UserLcid = ctx.Os.system.UserDefaultLcid();
  ctx.UseRussian = IsRussianLocale(ctx.UserLcid);
  auto version = ctx.Os.system.Version(true);
  if (!version) version = ctx.Os.system.Version(false);
  if (version) ctx.PlatformId = version->platformId;
  // The command word first: in the unattended mode the system's name is
  // learnt without a console window.
  ctx.Arguments = ctx.Os.processes.CommandLineArguments();
  ctx.CommandWord = ctx.Arguments.empty() ? std::string() : LowerAscii(ctx.Arguments[0]);
  ctx.NoWindows = ctx.CommandWord == kUnattendedWord;
  BuildSystemName(ctx);  // sets Is64BitSystem; the name itself is not kept
  const uint32_t access = ctx.Is64BitSystem ? (kKeyAllAccess | kKeyWow64_64Key) : kKeyAllAccess;
  ctx.Registry = std::make_unique<orfa::Registry>(ctx.Os.registry, access);
}

void FreeSetupContext(SetupContext& ctx) {
  ctx.Registry.reset();
  ctx.Catalog = MessageCatalog();
}

}  // namespace orfa
