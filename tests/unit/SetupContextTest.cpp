// Start-up context: locale, command word, the registry object and the two
// small services.
#include <gtest/gtest.h>

#include "app/Startup.h"
#include "core/SetupContext.h"
#include "platform/Failure.h"
#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

TEST(SetupContextTest, RussianTextsForExactlySevenLocales) {
  for (uint32_t lcid : {0x0402u, 0x0419u, 0x0422u, 0x0423u, 0x043Fu, 0x0444u, 0x0819u}) {
    EXPECT_TRUE(IsRussianLocale(lcid)) << std::hex << lcid;
  }
  for (uint32_t lcid : {0x0409u, 0x0C1Au, 0x0440u, 0x0019u, 0x1419u, 0u}) {
    EXPECT_FALSE(IsRussianLocale(lcid)) << std::hex << lcid;
  }
}

TEST(SetupContextTest, CommandWordIsTheFirstArgumentLowerCasedInAsciiOnly) {
  struct Case {
    std::vector<std::string> arguments;
    std::string word;
  };
  const Case cases[] = {{{}, ""},
                        {{"MODEST"}, "modest"},
                        {{"Modest", "RUNAPP"}, "modest"},
                        {{"modest "}, "modest "},
                        {{"UnAttended", "log=C:\\A.log"}, "unattended"},
                        {{"\xC0\xC1"}, "\xC0\xC1"}};
  for (const Case& c : cases) {
    SimWindows sim;
    sim.processes.SetArguments(c.arguments);
    SetupContext ctx(sim.Get());
    InitSetupContext(ctx);
    EXPECT_EQ(ctx.CommandWord, c.word);
    EXPECT_EQ(ctx.NoWindows, c.word == "unattended");
  }
}

TEST(SetupContextTest, StartUpReadsTheLocaleAndMakesThePlainRegistryOnUnknownSystems) {
  SimWindows sim;
  sim.system.SetUserLcid(0x0819);
  sim.system.SetExtendedVersion(std::nullopt);
  sim.system.SetBasicVersion(std::nullopt);
  SetupContext ctx(sim.Get());
  InitSetupContext(ctx);
  EXPECT_EQ(ctx.UserLcid, 0x0819u);
  EXPECT_TRUE(ctx.UseRussian);
  EXPECT_FALSE(ctx.Is64BitSystem);
  ASSERT_TRUE(ctx.Registry);
  EXPECT_EQ(ctx.Registry->Access(), 0xF003Fu);
  FreeSetupContext(ctx);
  EXPECT_FALSE(ctx.Registry);
}

TEST(SetupContextTest, UserSettingsKeyIsCreatedWhenMissingAndLeftOpen) {
  SimWindows sim;
  SetupContext ctx(sim.Get());
  InitSetupContext(ctx);
  ctx.ProductName = "Orfa";
  EXPECT_TRUE(OpenUserSettingsKey(ctx));
  EXPECT_TRUE(ctx.Registry->HasOpenKey());
  EXPECT_TRUE(sim.registry.KeyExists(RootKey::CurrentUser, "Software\\Tovel\\Orfa"));
  ctx.Registry->CloseKey();
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);

  sim.registry.DenyAccess(RootKey::CurrentUser, "Software\\Tovel\\Orfa");
  EXPECT_TRUE(OpenUserSettingsKey(ctx));  // no key open is no failure
  EXPECT_FALSE(ctx.Registry->HasOpenKey());
  EXPECT_FALSE(ctx.Registry->ValueExists("TheLastRunFolder"));
}

TEST(SetupContextTest, ProductNotRunningProbesTheMappingWithoutKeepingIt) {
  SimWindows sim;
  SetupContext ctx(sim.Get());
  EXPECT_TRUE(ProductNotRunning(ctx));
  EXPECT_FALSE(sim.processes.MappingExists("orfa_memfile"));
  EXPECT_TRUE(ProductNotRunning(ctx));

  sim.processes.HoldMapping("orfa_memfile");
  EXPECT_FALSE(ProductNotRunning(ctx));
  EXPECT_TRUE(sim.processes.MappingExists("orfa_memfile"));

  sim.processes.ReleaseMapping("orfa_memfile");
  sim.processes.MappingFails(kErrorAccessDenied);
  EXPECT_TRUE(ProductNotRunning(ctx));
}

TEST(RegistryTest, ReadsTextsUpToTheirNulAndRefusesOtherTypes) {
  SimWindows sim;
  sim.registry.SetValue(RootKey::CurrentUser, "Software\\T", "Sz", kRegSz, std::string("abc\0def", 7));
  sim.registry.SetValue(RootKey::CurrentUser, "Software\\T", "Empty", kRegSz, "");
  sim.registry.SetExpandString(RootKey::CurrentUser, "Software\\T", "Expand", "%TEMP%\\x");
  sim.registry.SetDword(RootKey::CurrentUser, "Software\\T", "Number", 5);
  Registry registry(sim.Get().registry, kKeyAllAccess);
  ASSERT_TRUE(registry.OpenKey("Software\\T", false));
  EXPECT_EQ(registry.ReadString("Sz"), "abc");
  EXPECT_EQ(registry.ReadString("Empty"), "");
  EXPECT_EQ(registry.ReadString("Expand"), "%TEMP%\\x");
  EXPECT_EQ(registry.ReadString("Missing"), "");
  EXPECT_TRUE(registry.ValueExists("Number"));
  EXPECT_THROW(registry.ReadString("Number"), RegistryFailure);
  EXPECT_FALSE(registry.OpenKey("Software\\Missing", false));
  EXPECT_FALSE(registry.HasOpenKey());
  EXPECT_THROW(registry.WriteInteger("X", 1), RegistryFailure);
}

TEST(RegistryTest, OnlyAWrittenKeyIsFlushedWhenClosed) {
  SimWindows sim;
  Registry registry(sim.Get().registry, kKeyAllAccess);
  ASSERT_TRUE(registry.OpenKey("Software\\Tovel", true));
  EXPECT_FALSE(registry.ValueExists("X"));
  registry.CloseKey();
  EXPECT_EQ(sim.registry.FlushCount(), 0u);

  ASSERT_TRUE(registry.OpenKey("Software\\Tovel", true));
  registry.WriteInteger("EstimatedSize", 42);
  ASSERT_TRUE(registry.OpenKey("Software\\Other", true));  // replaces the written key
  EXPECT_EQ(sim.registry.FlushCount(), 1u);
  registry.CloseKey();
  EXPECT_EQ(sim.registry.FlushCount(), 1u);
  EXPECT_EQ(sim.registry.GetDword(RootKey::CurrentUser, "Software\\Tovel", "EstimatedSize"),
            std::optional<uint32_t>(42));
}

TEST(RegistryTest, ChoosingAnotherRootClosesTheOpenKey) {
  SimWindows sim;
  Registry registry(sim.Get().registry, kKeyAllAccess | kKeyWow64_64Key);
  ASSERT_TRUE(registry.OpenKey("Software\\Tovel", true));
  registry.SelectRoot(RootKey::CurrentUser);
  EXPECT_TRUE(registry.HasOpenKey());
  registry.SelectRoot(RootKey::LocalMachine);
  EXPECT_FALSE(registry.HasOpenKey());
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
  EXPECT_EQ(sim.registry.OpenCalls().back().access, 0xF013Fu);
}

}  // namespace
}  // namespace orfa
