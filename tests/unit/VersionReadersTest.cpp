// Versions read from the product's data files, language files and programs.
#include <gtest/gtest.h>

#include "core/SetupContext.h"
#include "install/Payload.h"
#include "install/Versions.h"
#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

using Reader = int32_t (*)(SetupContext&, const std::string&);

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST(BinaryVersionReaders, ReadTheirFieldOnlyWhenAllItsBytesAreThere) {
  const struct {
    const char* name;
    Reader reader;
    std::string bytes;
    int32_t version;
  } cases[] = {
      {"pak of 7 bytes", ReadPakVersion, Bytes({1, 2, 3, 4, 5, 6, 7}), 0},
      {"pak of 8 bytes", ReadPakVersion, Bytes({1, 2, 3, 4, 5, 6, 0x34, 0x12}), 0x1234},
      {"pak at most 65535", ReadPakVersion, Bytes({0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 9}), 65535},
      {"cok of 6 bytes", ReadCokVersion, Bytes({1, 2, 3, 4, 5, 6}), 0},
      {"cok 0x01 0x02", ReadCokVersion, Bytes({0, 0, 0, 0, 0x2D, 0x01, 0x02}), 513},
      {"carried payload header", ReadCokVersion, std::string("orfm") + Bytes({0x2D, 0x78, 0x00, 7}),
       120},
      {"3bs of 7 bytes", Read3bsVersion, Bytes({1, 2, 3, 4, 5, 6, 0xFE}), 254},
      {"3bs of 6 bytes", Read3bsVersion, Bytes({1, 2, 3, 4, 5, 6}), 0},
      {"empty cok", ReadCokVersion, "", 0},
  };
  for (const auto& c : cases) {
    SimWindows sim;
    SetupContext ctx(sim.Get());
    sim.files.AddFile("C:\\Orfa\\data.bin", c.bytes);
    EXPECT_EQ(c.reader(ctx, "C:\\Orfa\\data.bin"), c.version) << c.name;
    EXPECT_EQ(sim.files.LogicHandleCount(), 0u) << c.name;
  }
}

TEST(BinaryVersionReaders, NothingToReadGivesZero) {
  SimWindows sim;
  SetupContext ctx(sim.Get());
  sim.files.AddFolder("C:\\Orfa\\folder.cok");
  sim.files.AddFile("C:\\Orfa\\unreadable.cok", Bytes({0, 0, 0, 0, 0x2D, 0x78, 0}));
  sim.files.ReadFails("C:\\Orfa\\unreadable.cok", kErrorAccessDenied);
  for (Reader reader : {ReadPakVersion, ReadCokVersion, Read3bsVersion}) {
    EXPECT_EQ(reader(ctx, "C:\\Orfa\\missing.cok"), 0);
    EXPECT_EQ(reader(ctx, "C:\\Orfa\\folder.cok"), 0);
    EXPECT_EQ(reader(ctx, "C:\\Orfa\\unreadable.cok"), 0);
  }
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

TEST(BinaryVersionReaders, FileHeldOpenByAnotherProcessGivesZero) {
  const struct {
    uint32_t access;
    uint32_t share;
  } modes[] = {
      {kGenericRead, kShareRead | kShareWrite | kShareDelete},
      {kGenericWrite, kShareRead | kShareWrite},
      {kGenericRead | kGenericWrite, kShareNone},
  };
  for (const auto& m : modes) {
    SimWindows sim;
    SetupContext ctx(sim.Get());
    const std::string path = "C:\\Orfa\\orfm.cok";
    sim.files.AddFile(path, Bytes({0, 0, 0, 0, 0x2D, 0x78, 0, 0}));
    HeldFile held = sim.files.HoldOpen(path, m.access, m.share);
    EXPECT_EQ(ReadCokVersion(ctx, path), 0) << m.access << "/" << m.share;
    EXPECT_EQ(ReadPakVersion(ctx, path), 0);
    held.Release();
    EXPECT_EQ(ReadCokVersion(ctx, path), 120);
  }
}

// ---------------------------------------------------------------- language files

class LngVersionTest : public ::testing::Test {
 protected:
  LngVersionTest() { ctx.GroupNameEn = "Orfa update"; }
  SimWindows sim;
  SetupContext ctx{sim.Get()};
};

TEST_F(LngVersionTest, HeaderRulesAndTheLastLine) {
  const struct {
    const char* content;
    int32_t version;
    bool box;
  } cases[] = {
      {"[langver]\r\n12\r\n", 12, false},
      {"[progname]\r\nOrfa\r\n\r\n[LangVer] more words\r\n7\r\n[langcode]\r\n1049\r\n", 7, false},
      {"[LANGVER]x\n5\n", 5, false},
      {"[langver]\r\n 12\r\n", 12, false},
      {"[langver]\r\n$1F\r\n", 31, false},
      {"[langver]\r\n1\r\n[langver]\r\n2\r\n", 1, false},  // the first header wins
      {" [langver]\r\n5\r\n3", 3, false},                  // no header: the last line counts
      {"[ langver]\r\n5\r\n4\r\n", 4, false},
      {"first\r\n42", 42, false},
      {"first\r\n42\r\n", 42, false},
      {"[langver]\r\n12 \r\n", 0, true},  // trailing space
      {"[langver]", 0, true},             // header on the last line: empty version text
      {"[langver]\r\n", 0, true},
      {"[langver]\r\n\r\n5\r\n", 0, true},
      {"text only\r\n", 0, true},
      {"", 0, true},
  };
  for (const auto& c : cases) {
    sim.ui.Clear();
    sim.files.AddFile("C:\\Orfa\\language\\english.lng", c.content);
    EXPECT_EQ(ReadLngVersion(ctx, "C:\\Orfa\\language\\english.lng"), c.version) << c.content;
    ASSERT_EQ(sim.ui.Calls().size(), c.box ? 1u : 0u) << c.content;
    if (c.box) {
      EXPECT_EQ(sim.ui.Calls()[0].request.text,
                "Can't handle the language support file C:\\Orfa\\language\\english.lng");
      EXPECT_EQ(sim.ui.Calls()[0].request.style, kErrorStyle);
    }
    EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
  }
}

TEST_F(LngVersionTest, MissingFileGivesZeroQuietly) {
  EXPECT_EQ(ReadLngVersion(ctx, "C:\\Orfa\\language\\none.lng"), 0);
  sim.files.AddFolder("C:\\Orfa\\language\\folder.lng");
  EXPECT_EQ(ReadLngVersion(ctx, "C:\\Orfa\\language\\folder.lng"), 0);
  EXPECT_TRUE(sim.ui.Calls().empty());
}

TEST_F(LngVersionTest, UnopenableOrUnreadableFileIsReported) {
  const std::string path = "C:\\Orfa\\language\\russian.lng";
  sim.files.AddFile(path, "[langver]\r\n3\r\n");
  ctx.UseRussian = true;
  {
    HeldFile held = sim.files.HoldOpen(path, kGenericWrite, kShareRead | kShareWrite);
    EXPECT_EQ(ReadLngVersion(ctx, path), 0);
  }
  sim.files.ReadFails(path, kErrorAccessDenied);
  EXPECT_EQ(ReadLngVersion(ctx, path), 0);
  ASSERT_EQ(sim.ui.Calls().size(), 2u);
  const std::string russian =
      "\xCD\xE5 \xF3\xE4\xE0\xB8\xF2\xF1\xFF \xF0\xE0\xE1\xEE\xF2\xE0\xF2\xFC \xF1 \xF4\xE0\xE9\xEB"
      "\xEE\xEC \xFF\xE7\xFB\xEA\xEE\xE2\xEE\xE9 \xEF\xEE\xE4\xE4\xE5\xF0\xE6\xEA\xE8 ";
  for (const auto& call : sim.ui.Calls()) EXPECT_EQ(call.request.text, russian + path);
  sim.files.ReadFails(path, 0);
  EXPECT_EQ(ReadLngVersion(ctx, path), 3);
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

// ---------------------------------------------------------------- programs

class ExeVersionTest : public ::testing::Test {
 protected:
  void AddProgram(const std::string& path, const std::vector<VersionTranslation>& translations,
                  const std::map<std::string, std::string>& strings) {
    sim.files.AddFile(path, "MZ");
    sim.files.SetProgram(path);
    sim.files.SetVersionInfo(path, translations, strings);
  }
  SimWindows sim;
  SetupContext ctx{sim.Get()};
};

TEST_F(ExeVersionTest, FileVersionOfTheFirstTranslation) {
  AddProgram("C:\\Orfa\\orfa.exe", {{0x0419, 0x04E3}, {0x0409, 0x04B0}},
             {{"StringFileInfo\\041904E3\\FileVersion", "5.2.0.14"},
              {"StringFileInfo\\040904B0\\FileVersion", "9.9.9.9"}});
  EXPECT_EQ(ReadExeFileVersion(ctx, "C:\\Orfa\\orfa.exe"), "5.2.0.14");

  AddProgram("C:\\Orfa\\short.exe", {{0x000A, 0x04E4}},
             {{"StringFileInfo\\000A04E4\\FileVersion", "1.0"}});
  EXPECT_EQ(ReadExeFileVersion(ctx, "C:\\Orfa\\short.exe"), "1.0");
}

TEST_F(ExeVersionTest, NoVersionTextGivesEmptyText) {
  AddProgram("C:\\Orfa\\second.exe", {{0x0419, 0x04E3}, {0x0409, 0x04B0}},
             {{"StringFileInfo\\040904B0\\FileVersion", "9.9.9.9"}});
  AddProgram("C:\\Orfa\\notrans.exe", {}, {{"StringFileInfo\\041904E3\\FileVersion", "1.0"}});
  sim.files.AddFile("C:\\Orfa\\bare.exe", "MZ");
  sim.files.SetProgram("C:\\Orfa\\bare.exe");
  sim.files.AddFile("C:\\Orfa\\readme.txt", "text");
  for (const char* path : {"C:\\Orfa\\second.exe", "C:\\Orfa\\notrans.exe", "C:\\Orfa\\bare.exe",
                           "C:\\Orfa\\readme.txt", "C:\\Orfa\\missing.exe"}) {
    EXPECT_EQ(ReadExeFileVersion(ctx, path), "") << path;
  }
}

TEST_F(ExeVersionTest, ProgramComparisonNeedsAnOldVersionAndADifference) {
  const struct {
    const char* newVersion;  // nullptr: no version resource
    const char* oldVersion;
    bool older;
  } cases[] = {
      {"1.2.0.0", "1.10.0.0", true},
      {"1.10.0.0", "1.2.0.0", false},
      {"1.2.0.0", "1.2.0.0", false},
      {"1.2.0.0", nullptr, false},
      {nullptr, "1.2.0.0", true},
      {"1.2", "1.2.0.1", true},
  };
  for (const auto& c : cases) {
    SimWindows local;
    SetupContext run(local.Get());
    for (const auto& [path, version] : {std::pair{"C:\\Orfa\\~orfa.exe", c.newVersion},
                                        std::pair{"C:\\Orfa\\orfa.exe", c.oldVersion}}) {
      local.files.AddFile(path, "MZ");
      local.files.SetProgram(path);
      if (version)
        local.files.SetVersionInfo(path, {{0x0409, 0x04B0}},
                                   {{"StringFileInfo\\040904B0\\FileVersion", version}});
    }
    const VersionComparison result =
        CompareVersions(run, "exe", "C:\\Orfa\\~orfa.exe", "C:\\Orfa\\orfa.exe");
    EXPECT_EQ(result.IsNewOlder, c.older)
        << (c.newVersion ? c.newVersion : "-") << " vs " << (c.oldVersion ? c.oldVersion : "-");
    EXPECT_EQ(result.NewVersionText, c.newVersion ? c.newVersion : "");
    EXPECT_EQ(result.OldVersionText, c.oldVersion ? c.oldVersion : "");
  }
}

TEST(CompareVersions, EachDataTypeUsesItsReader) {
  const struct {
    const char* type;
    std::string newBytes;
    std::string oldBytes;
    const char* oldPath;
    bool older;
    const char* newText;
    const char* oldText;
  } cases[] = {
      {"cok", Bytes({0, 0, 0, 0, 0, 5, 0}), Bytes({0, 0, 0, 0, 0, 6, 0}), "C:\\O\\a.cok", true, "5", "6"},
      {"cok", Bytes({0, 0, 0, 0, 0, 6, 0}), Bytes({0, 0, 0, 0, 0, 6, 0}), "C:\\O\\a.cok", false, "6", "6"},
      {"cok", Bytes({0, 0, 0, 0, 0}), Bytes({0, 0, 0, 0, 0, 1, 0}), "C:\\O\\a.cok", true, "0", "1"},
      {"pak", Bytes({0, 0, 0, 0, 0, 0, 0, 1}), Bytes({0, 0, 0, 0, 0, 0, 0xFF, 0}), "C:\\O\\a.pak",
       false, "256", "255"},
      {"3bs", Bytes({0, 0, 0, 0, 0, 0, 3}), Bytes({0, 0, 0, 0, 0, 0, 4}), "C:\\O\\a.3bs", true, "3", "4"},
      {"lng", "[langver]\r\n-1\r\n", "[langver]\r\n2\r\n", "C:\\O\\a.lng", true, "-1", "2"},
      {"lng", "[langver]\r\n1\r\n", "[langver]\r\n2\r\n", "C:\\O!\\a.lng", false, "", ""},
      {"PAK", Bytes({0, 0, 0, 0, 0, 0, 0, 0}), Bytes({0, 0, 0, 0, 0, 0, 9, 0}), "C:\\O\\a.pak",
       false, "", ""},
  };
  for (const auto& c : cases) {
    SimWindows sim;
    SetupContext ctx(sim.Get());
    const std::string newPath = TempNameFor(c.oldPath);
    sim.files.AddFile(newPath, c.newBytes);
    sim.files.AddFile(c.oldPath, c.oldBytes);
    const VersionComparison result = CompareVersions(ctx, c.type, newPath, c.oldPath);
    EXPECT_EQ(result.IsNewOlder, c.older) << c.type << " " << c.oldPath;
    EXPECT_EQ(result.NewVersionText, c.newText) << c.type << " " << c.oldPath;
    EXPECT_EQ(result.OldVersionText, c.oldText) << c.type << " " << c.oldPath;
  }
}

}  // namespace
}  // namespace orfa
