// Finding the system, shell and product folders, and the product folder's size.
#include <gtest/gtest.h>

#include <map>

#include "core/Registry.h"
#include "core/SetupContext.h"
#include "install/Environment.h"
#include "platform/Failure.h"
#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

const std::string kCv = "Software\\Microsoft\\Windows\\CurrentVersion\\";
const std::string kShell = kCv + "Explorer\\Shell Folders";
const std::string kEntry = kCv + "Uninstall\\Orfa";
const std::string kWowEntry = "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orfa";
const std::string kGroupRu = "\xCE\xE1\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5 \"\xCE\xF0\xF4\xE0\"";
const std::string kGroupEn = "Orfa update";
const std::string kNoAccessRu =
    "\xCD\xE5\xF2 \xE4\xEE\xF1\xF2\xF3\xEF\xE0 \xEA \xF1\xE8\xF1\xF2\xE5\xEC\xED\xEE\xEC\xF3 "
    "\xF0\xE5\xE5\xF1\xF2\xF0\xF3";

// A simulated machine and a context ready for discovery.
struct Machine {
  explicit Machine(uint32_t platformId = 2, bool russian = false) {
    ctx.Registry = std::make_unique<Registry>(sim.registry, kKeyAllAccess);
    ctx.PlatformId = platformId;
    ctx.UseRussian = russian;
    ctx.ProductName = "Orfa";
    ctx.GroupNameRu = kGroupRu;
    ctx.GroupNameEn = kGroupEn;
  }

  void Use64BitSystem() {
    sim.Set64BitSystem(true);
    ctx.Is64BitSystem = true;
    ctx.Registry = std::make_unique<Registry>(sim.registry, kKeyAllAccess | kKeyWow64_64Key);
  }

  void SetMachine(const std::string& key, const std::string& name, const std::string& text,
                  RegView view = RegView::Native) {
    sim.registry.SetString(RootKey::LocalMachine, key, name, text, view);
  }

  void SetUser(const std::string& name, const std::string& text) {
    sim.registry.SetString(RootKey::CurrentUser, kShell, name, text);
  }

  // A typical Windows XP machine with the product installed.
  void TypicalMachine() {
    SetMachine(kCv, "ProgramFilesDir", "C:\\Program Files");
    SetMachine(kShell, "Common Desktop", "C:\\Documents and Settings\\All Users\\Desktop");
    SetMachine(kShell, "Common Programs", "C:\\Documents and Settings\\All Users\\Start Menu\\Programs");
    SetUser("Programs", "C:\\Documents and Settings\\u\\Start Menu\\Programs");
    SetUser("Desktop", "C:\\Documents and Settings\\u\\Desktop");
    SetUser("Startup", "C:\\Documents and Settings\\u\\Start Menu\\Programs\\Startup");
    SetMachine(kEntry, "UninstallString", "C:\\Orfa 7\\uninstall.exe");
  }

  bool OpenedAny(const std::string& fragment) const {
    for (const auto& call : sim.registry.OpenCalls())
      if (call.path.find(fragment) != std::string::npos) return true;
    return false;
  }

  SimWindows sim;
  SetupContext ctx{sim.Get()};
};

class DiscoverEnvironmentTest : public ::testing::Test, public Machine {};

TEST_F(DiscoverEnvironmentTest, FillsEveryFolderOnTheNtFamily) {
  TypicalMachine();
  sim.system.SetAdmin(false);

  ASSERT_TRUE(DiscoverEnvironment(ctx));

  EXPECT_EQ(ctx.SystemFolder, "C:\\WINDOWS\\system32\\");
  EXPECT_EQ(ctx.WindowsFolder, "C:\\WINDOWS\\");
  EXPECT_FALSE(ctx.IsAdmin);
  EXPECT_EQ(ctx.TempFolder, "C:\\Temp\\");
  EXPECT_EQ(ctx.CommonDesktopFolder, "C:\\Documents and Settings\\All Users\\Desktop\\");
  EXPECT_EQ(ctx.CommonProgramsFolder, "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\");
  EXPECT_EQ(ctx.UserProgramsFolder, "C:\\Documents and Settings\\u\\Start Menu\\Programs\\");
  EXPECT_EQ(ctx.UserDesktopFolder, "C:\\Documents and Settings\\u\\Desktop\\");
  EXPECT_EQ(ctx.StartupFolder, "C:\\Documents and Settings\\u\\Start Menu\\Programs\\Startup\\");
  EXPECT_EQ(ctx.UninstallKey, kCv + "Uninstall\\");
  EXPECT_EQ(ctx.ProductKey, "Software\\Tovel\\Orfa\\");
  EXPECT_EQ(ctx.ProgramsGroupFolder, ctx.CommonProgramsFolder + kGroupEn + "\\");
  EXPECT_EQ(ctx.AltProgramsGroupFolder, ctx.CommonProgramsFolder + kGroupRu + "\\");
  EXPECT_EQ(ctx.UserGroupFolderRu, ctx.UserProgramsFolder + kGroupRu + "\\");
  EXPECT_EQ(ctx.UserGroupFolderEn, ctx.UserProgramsFolder + kGroupEn + "\\");
  EXPECT_EQ(ctx.ProductFolder, "C:\\Orfa 7\\");
  EXPECT_EQ(ctx.WowUninstallEntryKey, "");
  EXPECT_TRUE(sim.ui.Calls().empty());
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
  for (const auto& call : sim.registry.OpenCalls()) {
    EXPECT_FALSE(call.create) << call.path;
    EXPECT_EQ(call.access, kKeyAllAccess) << call.path;
  }
}

TEST(DiscoverEnvironment, UninstallCommandIsCutToItsProgramsFolder) {
  const struct {
    const char* command;
    const char* folder;
  } cases[] = {
      {"C:\\Program Files\\Orfa\\uninstall.exe", "C:\\Program Files\\Orfa\\"},
      {"C:\\Orfa\\", "C:\\"},
      // A quoted program: its folder, whatever arguments follow.
      {"\"C:\\Program Files\\Orfa\\unins000.exe\"", "C:\\Program Files\\Orfa\\"},
      {"\"C:\\Orfa\\uninstall.exe\" /SILENT /LOG=\"C:\\Temp\\u.log\"", "C:\\Orfa\\"},
      {"\"C:\\Orfa 2\\un.exe", "C:\\Orfa 2\\"},  // no closing quote
      {"\"unins.exe\" /x=C:\\y", "C:\\Program Files\\Orfa\\"},
      {"\"\"", "C:\\Program Files\\Orfa\\"},
      {"C:\\Orfa\\unins.exe /log=D:\\x.log", "C:\\Orfa\\unins.exe /log=D:\\"},
      {"\\u", "\\"},
      // No folder in the command: the default folder stays.
      {"uninstall.exe", "C:\\Program Files\\Orfa\\"},
      {"\\", "C:\\Program Files\\Orfa\\"},
      {"", "C:\\Program Files\\Orfa\\"},
  };
  for (const auto& c : cases) {
    Machine m;
    m.SetMachine(kCv, "ProgramFilesDir", "C:\\Program Files");
    m.SetMachine(kEntry, "UninstallString", c.command);
    // A 32-bit entry that must not be consulted: the native entry was found.
    m.SetMachine(kWowEntry, "UninstallString", "D:\\Wow\\u.exe");
    ASSERT_TRUE(DiscoverEnvironment(m.ctx)) << c.command;
    EXPECT_EQ(m.ctx.ProductFolder, c.folder) << c.command;
    EXPECT_EQ(m.ctx.WowUninstallEntryKey, "") << c.command;
  }
}

TEST_F(DiscoverEnvironmentTest, DefaultProductFolderWithoutUninstallEntry) {
  SetMachine(kCv, "ProgramFilesDir", "C:\\Program Files\\");
  ASSERT_TRUE(DiscoverEnvironment(ctx));
  EXPECT_EQ(ctx.ProductFolder, "C:\\Program Files\\Orfa\\");
  EXPECT_EQ(ctx.WowUninstallEntryKey, "");
}

TEST_F(DiscoverEnvironmentTest, MissingProgramFilesDirGivesRelativeProductFolder) {
  ASSERT_TRUE(DiscoverEnvironment(ctx));
  EXPECT_EQ(ctx.ProductFolder, "Orfa\\");
}

TEST_F(DiscoverEnvironmentTest, EmptyOrMissingValuesGiveEmptyFolders) {
  SetMachine(kShell, "Common Desktop", "");
  SetUser("Programs", "");
  sim.system.UnsetEnv("Temp");
  ASSERT_TRUE(DiscoverEnvironment(ctx));
  EXPECT_EQ(ctx.CommonDesktopFolder, "");
  EXPECT_EQ(ctx.UserProgramsFolder, "");
  EXPECT_EQ(ctx.UserDesktopFolder, "");
  EXPECT_EQ(ctx.StartupFolder, "");
  EXPECT_EQ(ctx.TempFolder, "");
  EXPECT_EQ(ctx.CommonProgramsFolder, "");
  EXPECT_EQ(ctx.ProgramsGroupFolder, kGroupEn + "\\");
}

TEST(DiscoverEnvironment, CommonProgramsReadOnTheNtFamilyOnly) {
  const struct {
    uint32_t platformId;
    bool haveValue;
    const char* value;
    bool common;  // the group folders lie under the machine-wide Programs folder
  } cases[] = {
      {2, true, "C:\\All\\Programs", true},
      {1, true, "C:\\All\\Programs", false},  // Windows 9x: not read
      {2, true, "", false},
      {2, false, "", false},
  };
  for (const auto& c : cases) {
    Machine m(c.platformId);
    if (c.haveValue)
      m.SetMachine(kShell, "Common Programs", c.value);
    m.SetUser("Programs", "C:\\User\\Programs");
    ASSERT_TRUE(DiscoverEnvironment(m.ctx));
    const std::string base = c.common ? "C:\\All\\Programs\\" : "C:\\User\\Programs\\";
    EXPECT_EQ(m.ctx.CommonProgramsFolder, base) << c.platformId << " '" << c.value << "'";
    EXPECT_EQ(m.ctx.ProgramsGroupFolder, base + kGroupEn + "\\");
    EXPECT_EQ(m.ctx.AltProgramsGroupFolder, base + kGroupRu + "\\");
  }
}

TEST(DiscoverEnvironment, RussianUsersGetTheRussianGroupFirst) {
  for (bool russian : {false, true}) {
    Machine m(2, russian);
    m.SetMachine(kShell, "Common Programs", "C:\\All");
    m.SetUser("Programs", "C:\\Me");
    ASSERT_TRUE(DiscoverEnvironment(m.ctx));
    EXPECT_EQ(m.ctx.ProgramsGroupFolder, "C:\\All\\" + (russian ? kGroupRu : kGroupEn) + "\\");
    EXPECT_EQ(m.ctx.AltProgramsGroupFolder, "C:\\All\\" + (russian ? kGroupEn : kGroupRu) + "\\");
    EXPECT_EQ(m.ctx.UserGroupFolderRu, "C:\\Me\\" + kGroupRu + "\\");
    EXPECT_EQ(m.ctx.UserGroupFolderEn, "C:\\Me\\" + kGroupEn + "\\");
  }
}

TEST_F(DiscoverEnvironmentTest, SixtyFourBitNativeEntryWins) {
  Use64BitSystem();
  SetMachine(kCv, "ProgramFilesDir", "C:\\Program Files");
  SetMachine(kEntry, "UninstallString", "C:\\Program Files\\Orfa\\uninstall.exe");
  SetMachine(kEntry, "UninstallString", "C:\\Program Files (x86)\\Orfa\\uninstall.exe",
             RegView::Wow32);
  ASSERT_TRUE(DiscoverEnvironment(ctx));
  EXPECT_EQ(ctx.ProductFolder, "C:\\Program Files\\Orfa\\");
  EXPECT_EQ(ctx.WowUninstallEntryKey, "");
  EXPECT_FALSE(OpenedAny("WOW6432Node"));
  for (const auto& call : sim.registry.OpenCalls()) EXPECT_EQ(call.access, 0xF013Fu) << call.path;
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
}

TEST_F(DiscoverEnvironmentTest, SixtyFourBitEntryOfA32BitInstallIsFoundUnderWow6432Node) {
  Use64BitSystem();
  SetMachine(kCv, "ProgramFilesDir", "C:\\Program Files");
  SetMachine(kEntry, "UninstallString", "C:\\Program Files (x86)\\Orfa\\uninstall.exe",
             RegView::Wow32);
  ASSERT_TRUE(DiscoverEnvironment(ctx));
  EXPECT_EQ(ctx.ProductFolder, "C:\\Program Files (x86)\\Orfa\\");
  EXPECT_EQ(ctx.WowUninstallEntryKey, kWowEntry);
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
}

TEST_F(DiscoverEnvironmentTest, NativeEntryWithoutUninstallStringCountsAsNotFound) {
  sim.registry.CreateKey(RootKey::LocalMachine, kEntry);
  SetMachine(kEntry, "DisplayName", "Orfa");
  SetMachine(kWowEntry, "UninstallString", "D:\\Orfa32\\u.exe");
  ASSERT_TRUE(DiscoverEnvironment(ctx));
  EXPECT_EQ(ctx.ProductFolder, "D:\\Orfa32\\");
  EXPECT_EQ(ctx.WowUninstallEntryKey, kWowEntry);
}

TEST_F(DiscoverEnvironmentTest, WowEntryWithoutFolderKeepsDefaultButIsRecorded) {
  SetMachine(kCv, "ProgramFilesDir", "C:\\PF");
  SetMachine(kWowEntry, "UninstallString", "unins.exe");
  ASSERT_TRUE(DiscoverEnvironment(ctx));
  EXPECT_EQ(ctx.ProductFolder, "C:\\PF\\Orfa\\");
  EXPECT_EQ(ctx.WowUninstallEntryKey, kWowEntry);
}

TEST(DiscoverEnvironment, PerUserShellFolderFailureStopsWithBilingualError) {
  for (bool russian : {false, true}) {
    for (const char* bad : {"Programs", "Startup"}) {
      Machine m(2, russian);
      m.SetUser("Programs", "C:\\Me");
      m.sim.registry.SetDword(RootKey::CurrentUser, kShell, bad, 1);
      m.SetMachine(kEntry, "UninstallString", "C:\\Orfa\\u.exe");

      EXPECT_FALSE(DiscoverEnvironment(m.ctx)) << bad;
      ASSERT_EQ(m.sim.ui.Calls().size(), 1u);
      const MessageBoxRequest& box = m.sim.ui.Calls()[0].request;
      EXPECT_EQ(box.text, russian ? kNoAccessRu : "No access to system registry");
      EXPECT_EQ(box.caption, russian ? kGroupRu : kGroupEn);
      EXPECT_EQ(box.style, kErrorStyle);
      EXPECT_EQ(m.sim.registry.OpenKeyCount(), 0u);
      EXPECT_EQ(m.ctx.UninstallKey, "");
      EXPECT_EQ(m.ctx.ProductKey, "");
      EXPECT_EQ(m.ctx.ProgramsGroupFolder, "");
      EXPECT_EQ(m.ctx.ProductFolder, "");
    }
  }
}

TEST(DiscoverEnvironment, NonTextValueInMachineWidePlacesPassesOnWithKeyClosed) {
  const struct {
    std::string key;
    const char* name;
  } cases[] = {
      {kCv, "ProgramFilesDir"},
      {kShell, "Common Desktop"},
      {kShell, "Common Programs"},
      {kEntry, "UninstallString"},
      {kWowEntry, "UninstallString"},
  };
  for (const auto& c : cases) {
    Machine m;
    m.sim.registry.SetDword(RootKey::LocalMachine, c.key, c.name, 7);
    EXPECT_THROW(DiscoverEnvironment(m.ctx), RegistryFailure) << c.key << " " << c.name;
    EXPECT_EQ(m.sim.registry.OpenKeyCount(), 0u) << c.key << " " << c.name;
    EXPECT_TRUE(m.sim.ui.Calls().empty());
  }
}

TEST_F(DiscoverEnvironmentTest, DeniedKeysCountAsMissing) {
  TypicalMachine();
  sim.registry.DenyAccess(RootKey::LocalMachine, kEntry);
  sim.registry.DenyAccess(RootKey::CurrentUser, kShell);
  ASSERT_TRUE(DiscoverEnvironment(ctx));
  EXPECT_EQ(ctx.UserProgramsFolder, "");
  EXPECT_EQ(ctx.ProductFolder, "C:\\Program Files\\Orfa\\");
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
}

// ---------------------------------------------------------------- folder size

TEST(FolderSizeKb, NoFolderGivesMinusOne) {
  SimWindows sim;
  SetupContext ctx(sim.Get());
  sim.files.AddFile("C:\\Orfa\\orfa.exe", "MZ");
  EXPECT_EQ(FolderSizeKb(ctx, ""), -1);
  EXPECT_EQ(FolderSizeKb(ctx, "C:\\Missing"), -1);
  EXPECT_EQ(FolderSizeKb(ctx, "C:\\Orfa\\orfa.exe"), -1);
}

TEST(FolderSizeKb, SumsFileSizesAndDividesOnce) {
  const struct {
    std::vector<size_t> sizes;
    int32_t kb;
  } cases[] = {
      {{}, 0},
      {{1023}, 0},
      {{1024}, 1},
      {{600, 600}, 1},
      {{1023, 1023, 2}, 2},
      {{5000}, 4},
  };
  for (const auto& c : cases) {
    SimWindows sim;
    SetupContext ctx(sim.Get());
    sim.files.AddFolder("C:\\Orfa");
    for (size_t i = 0; i < c.sizes.size(); ++i)
      sim.files.AddFile("C:\\Orfa\\f" + std::to_string(i), std::string(c.sizes[i], 'x'));
    EXPECT_EQ(FolderSizeKb(ctx, "C:\\Orfa"), c.kb) << c.sizes.size() << " files";
    EXPECT_EQ(FolderSizeKb(ctx, "C:\\Orfa\\"), c.kb) << c.sizes.size() << " files";
  }
}

TEST(FolderSizeKb, CountsEveryKindOfFileAtEveryDepthAndNoFolders) {
  SimWindows sim;
  SetupContext ctx(sim.Get());
  sim.files.AddFile("C:\\Orfa\\a.bin", std::string(1024, 'a'), kAttrHidden);
  sim.files.AddFile("C:\\Orfa\\b.bin", std::string(1024, 'b'), kAttrSystem | kAttrReadOnly);
  sim.files.AddFile("C:\\Orfa\\x\\y\\z\\deep.bin", std::string(2048, 'c'));
  sim.files.AddFolder("C:\\Orfa\\empty", kAttrHidden);
  sim.files.AddFile("C:\\Orfa\\x\\y\\z\\w\\deeper.bin", std::string(1024, 'd'));
  sim.files.AddFile("C:\\Other\\outside.bin", std::string(8192, 'e'));
  EXPECT_EQ(FolderSizeKb(ctx, "C:\\Orfa"), 5);
  EXPECT_EQ(FolderSizeKb(ctx, "c:\\orfa\\x\\"), 3);
}

TEST(FolderSizeKb, UnlistableFolderAddsNothingAndTheWalkGoesOn) {
  SimWindows sim;
  SetupContext ctx(sim.Get());
  sim.files.AddFile("C:\\Orfa\\a\\locked.bin", std::string(4096, 'a'));
  sim.files.AddFile("C:\\Orfa\\b\\open.bin", std::string(2048, 'b'));
  sim.files.ListFails("C:\\Orfa\\a");
  EXPECT_EQ(FolderSizeKb(ctx, "C:\\Orfa"), 2);
  EXPECT_TRUE(sim.ui.Calls().empty());
}

TEST(FolderSizeKb, ReparsePointsAreNeitherWalkedNorCounted) {
  SimWindows sim;
  SetupContext ctx(sim.Get());
  sim.files.AddFile("C:\\Orfa\\data\\a.bin", std::string(3072, 'a'));
  sim.files.AddFolderLink("C:\\Orfa\\data\\loop", "C:\\Orfa");  // leads back to an ancestor
  sim.files.AddFile("C:\\Elsewhere\\big.bin", std::string(10240, 'b'));
  sim.files.AddFile("C:\\Elsewhere\\deeper\\bigger.bin", std::string(20480, 'c'));
  sim.files.AddFolderLink("C:\\Orfa\\elsewhere", "C:\\Elsewhere");
  sim.files.AddFileLink("C:\\Orfa\\big.lnk", "C:\\Elsewhere\\big.bin");
  EXPECT_EQ(FolderSizeKb(ctx, "C:\\Orfa"), 3);
  // Only the two real folders were listed.
  EXPECT_EQ(sim.files.Listings(),
            (std::vector<std::string>{"C:\\Orfa\\*.*", "C:\\Orfa\\data\\*.*"}));
}

TEST(FolderSizeKb, TotalsOf4GiBAndMoreAreExactAndCapped) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  const struct {
    std::map<std::string, uint64_t> sizes;
    int32_t kb;
  } cases[] = {
      {{{"a.bin", 3 * kGiB}, {"b.bin", 2 * kGiB}}, 5 * 1024 * 1024},  // the sum passes 4 GiB
      {{{"a.bin", 5 * kGiB + 1024}, {"b.bin", 0}}, 5 * 1024 * 1024 + 1},  // one file over 4 GiB
      {{{"a.bin", 4 * kGiB - 1}, {"b.bin", 1}}, 4 * 1024 * 1024},
      {{{"a.bin", 2048 * kGiB}, {"b.bin", 0}}, INT32_MAX},  // 2 TiB: 2^31 KiB does not fit
      {{{"a.bin", UINT64_MAX}, {"b.bin", UINT64_MAX}}, INT32_MAX},
  };
  for (const auto& c : cases) {
    SimWindows sim;
    sim.files.AddFile("C:\\Orfa\\a.bin");
    sim.files.AddFile("C:\\Orfa\\sub\\b.bin");
    // Files of many GiB need no bytes: the listing reports their sizes.
    sim.files.SetListedSize("C:\\Orfa\\a.bin", c.sizes.at("a.bin"));
    sim.files.SetListedSize("C:\\Orfa\\sub\\b.bin", c.sizes.at("b.bin"));
    SetupContext ctx(sim.Get());
    EXPECT_EQ(FolderSizeKb(ctx, "C:\\Orfa"), c.kb);
  }
}

}  // namespace
}  // namespace orfa
