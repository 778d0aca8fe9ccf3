// The update flow from start to end, on the simulated Windows.
#include <gtest/gtest.h>

#include <functional>

#include "app/Update.h"
#include "tests/unit/AppTestFixture.h"

namespace orfa {
namespace {

using namespace apptest;

const std::string kInstalledNew = PayloadWithStamp(13 + 32, 10000);
const std::string kInstalledOld = PayloadWithStamp(13 + 32, 5000);

// What lies at a path, short enough for a failure message.
std::string Describe(const std::optional<std::string>& bytes) {
  if (!bytes) return "nothing";
  if (*bytes == kInstalledNew) return "the payload";
  if (*bytes == kInstalledOld) return "the old file";
  return std::to_string(bytes->size()) + " other bytes";
}

class UpdateFlowTest : public ::testing::Test {
 protected:
  void SetUp() override { LayOutProduct(sim); }

  int Run(std::vector<std::string> arguments = {}) {
    sim.processes.SetArguments(std::move(arguments));
    const std::string image = *sim.files.ReadFileBytes(kExecutable);
    return RunProgram(sim.Get(), DigestSlotOf(image));
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& call : sim.ui.Calls()) texts.push_back(call.request.text);
    return texts;
  }
  std::optional<uint32_t> EstimatedSize(const std::string& key = kUninstallEntry) {
    return sim.registry.GetDword(RootKey::LocalMachine, key, "EstimatedSize");
  }
  bool Started() const { return !sim.processes.ShellExecuteCalls().empty(); }

  SimWindows sim;
};

TEST_F(UpdateFlowTest, InteractiveYesYesInstallsRecordsTheSizeAndStartsTheProduct) {
  sim.ui.Answer(kIdYes);
  sim.ui.Answer(kIdYes);
  EXPECT_EQ(Run(), 0);

  ASSERT_EQ(sim.ui.Calls().size(), 2u);
  const auto& ask = sim.ui.Calls()[0].request;
  EXPECT_EQ(ask.text, "Install Orfa LiveUpdate:\r\nAccordion 13?");
  EXPECT_EQ(ask.caption, "Sound question");
  EXPECT_EQ(ask.style, 0x42024u);
  EXPECT_EQ(ask.language, std::optional<uint16_t>(1033));
  const auto& done = sim.ui.Calls()[1].request;
  EXPECT_EQ(done.text, "Orfa LiveUpdate (Accordion 13) is installed.\r\n\r\nStart Orfa?");
  EXPECT_EQ(done.caption, "Orfa LiveUpdate");
  EXPECT_EQ(sim.ui.UnscriptedCount(), 0u);

  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the payload");
  EXPECT_FALSE(sim.files.Exists("C:\\Program Files\\Orfa\\~orfm.cok"));
  size_t bytes = 0;
  for (const char* name : {"orfa.exe", "language\\english.lng", "language\\russian.lng",
                           "orfm.cok", "data\\words.pak"}) {
    bytes += sim.files.ReadFileBytes(std::string(kProductFolder) + name)->size();
  }
  EXPECT_EQ(EstimatedSize(), std::optional<uint32_t>(static_cast<uint32_t>(bytes / 1024)));

  ASSERT_EQ(sim.processes.ShellExecuteCalls().size(), 1u);
  const auto& start = sim.processes.ShellExecuteCalls()[0];
  EXPECT_EQ(start.verb, "open");
  EXPECT_EQ(start.file, "C:\\Program Files\\Orfa\\Orfa.exe");
  EXPECT_EQ(start.parameters, "");
  EXPECT_EQ(start.directory, kProductFolder);  // the desktop shell starts it in the product folder
  EXPECT_EQ(start.show, 1);
}

TEST_F(UpdateFlowTest, AnsweringNoAtTheEndInstallsWithoutStarting) {
  sim.ui.Answer(kIdYes);
  sim.ui.Answer(kIdNo);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the payload");
  EXPECT_FALSE(Started());
}

TEST_F(UpdateFlowTest, DecliningTheInstallWritesNothingButTheUserKey) {
  sim.ui.Answer(kIdNo);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(sim.ui.Calls().size(), 1u);
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the old file");
  EXPECT_FALSE(EstimatedSize());
  EXPECT_FALSE(Started());
  EXPECT_TRUE(sim.registry.KeyExists(RootKey::CurrentUser, kUserKey));
}

TEST_F(UpdateFlowTest, NewerInstalledFileIsQuestionedWithItsBareName) {
  sim.files.AddFile(kInstalledPayload, PayloadWithStamp(14 + 32));
  sim.ui.Answer(kIdNo);
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(Texts(), std::vector<std::string>{"The installed orfm.cok is newer.\r\nReplace it?"});
  EXPECT_EQ(sim.files.ReadFileBytes(kInstalledPayload), PayloadWithStamp(14 + 32));

  sim.ui.Clear();
  sim.ui.Answer(kIdYes);
  sim.ui.Answer(kIdYes);
  sim.ui.Answer(kIdNo);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(sim.ui.Calls().size(), 3u);  // olderfilever, installask, installdone
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the payload");
}

TEST_F(UpdateFlowTest, TheIdentityTheBuildHandsOverNamesTheQuestion) {
  // A version-14 update over an installed 14 asks no "olderfilever", and
  // its question names the given title key's text and version 14.
  sim.files.AddFile(kInstalledPayload, PayloadWithStamp(14 + 32));
  PayloadIdentity next;
  next.Version = 14;
  next.TitleKey = "progname";
  sim.ui.Answer(kIdNo);
  RunProgram(sim.Get(), DigestSlotOf(*sim.files.ReadFileBytes(kExecutable)), next);
  EXPECT_EQ(Texts(), std::vector<std::string>{"Install Orfa LiveUpdate:\r\nOrfa 14?"});
}

TEST_F(UpdateFlowTest, StampsThatAreNotNewerAskNothingExtra) {
  for (const std::string& installed : {PayloadWithStamp(13 + 32), std::string("orf")}) {
    sim.files.AddFile(kInstalledPayload, installed);
    sim.ui.Clear();
    sim.ui.Answer(kIdNo);
    Run();
    EXPECT_EQ(sim.ui.Calls().size(), 1u) << "installed file of " << installed.size() << " bytes";
  }
}

TEST_F(UpdateFlowTest, QuietModeAsksNothingAndStartsOnlyWithRunapp) {
  struct Case {
    std::vector<std::string> arguments;
    bool quiet;
    bool started;
    bool desktopShell = true;
  };
  const Case cases[] = {
      {{"modest"}, true, false},          {{"MODEST", "runapp"}, true, true},
      {{"Modest", "RUNAPP"}, true, true}, {{"runapp"}, false, false},
      {{"modest "}, false, false},        {{"modest", "other", "runapp"}, true, false},
      {{"UNATTENDED", "runapp"}, true, false},
      {{"modest", "runapp"}, true, false, false},  // never started with our own token
      {{"unattended", "log=C:\\x.log", "runapp"}, true, false},
  };
  for (const Case& c : cases) {
    SimWindows fresh;
    LayOutProduct(fresh);
    // Newer: never asked about; overwritten, except by the unattended mode,
    // which never downgrades.
    const std::string newer = PayloadWithStamp(20 + 32);
    fresh.files.AddFile(kInstalledPayload, newer);
    fresh.processes.SetDesktopShell(c.desktopShell);
    fresh.processes.SetArguments(c.arguments);
    RunProgram(fresh.Get(), DigestSlotOf(*fresh.files.ReadFileBytes(kExecutable)));
    const std::string what = c.arguments[0] + (c.arguments.size() > 1 ? " " + c.arguments[1] : "");
    const bool unattended = c.arguments[0].size() == 10;
    if (c.quiet) {
      EXPECT_TRUE(fresh.ui.Calls().empty()) << what;
      EXPECT_EQ(fresh.files.ReadFileBytes(kInstalledPayload) == newer, unattended) << what;
    } else {
      EXPECT_FALSE(fresh.ui.Calls().empty()) << what;
    }
    EXPECT_EQ(!fresh.processes.ShellExecuteCalls().empty(), c.started) << what;
  }
}

TEST_F(UpdateFlowTest, NoProductShowsTheBuiltInErrorInTheUsersLanguage) {
  sim.files.Delete(std::string(kProductFolder) + "orfa.exe");
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(sim.ui.Calls().size(), 1u);
  EXPECT_EQ(sim.ui.Calls()[0].request.text,
            "There's no Orfa installed.\r\nPlease install the program first.");
  EXPECT_EQ(sim.ui.Calls()[0].request.caption, "Orfa update");
  EXPECT_EQ(sim.ui.Calls()[0].request.style, 0x200010u);

  SimWindows russian;
  LayOutProduct(russian);
  russian.files.Delete(std::string(kProductFolder) + "orfa.exe");
  russian.system.SetUserLcid(0x0819);
  RunProgram(russian.Get(), DigestSlotOf(*russian.files.ReadFileBytes(kExecutable)));
  ASSERT_EQ(russian.ui.Calls().size(), 1u);
  const auto& box = russian.ui.Calls()[0].request;
  EXPECT_EQ(box.caption, "\xCE\xE1\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5 \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB "
                         "\"\xCE\xF0\xF4\xE0\"");
  EXPECT_EQ(box.text.substr(0, 4), "\xCD\xE5\xF2 ");
  EXPECT_EQ(box.codePage, 1251u);
  EXPECT_EQ(box.language, std::optional<uint16_t>(0x19));
}

TEST_F(UpdateFlowTest, LastRunFolderWinsOverTheUninstallEntry) {
  sim.registry.SetString(RootKey::CurrentUser, kUserKey, "TheLastRunFolder", "D:\\Elsewhere");
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(sim.ui.Calls().size(), 1u);
  EXPECT_EQ(sim.ui.Calls()[0].request.caption, "Orfa update");  // no orfa.exe there

  sim.ui.Clear();
  sim.files.AddFile("D:\\Elsewhere\\orfa.exe", "MZ");
  sim.files.AddFile("D:\\Elsewhere\\language\\english.lng",
                    *sim.files.ReadFileBytes("C:\\Program Files\\Orfa\\language\\english.lng"));
  sim.ui.Answer(kIdYes);
  sim.ui.Answer(kIdYes);
  Run();
  EXPECT_EQ(Describe(sim.files.ReadFileBytes("D:\\Elsewhere\\orfm.cok")), "the payload");
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the old file");
  EXPECT_EQ(sim.processes.ShellExecuteCalls().at(0).file, "D:\\Elsewhere\\Orfa.exe");
}

TEST_F(UpdateFlowTest, OnlyAFullLastRunFolderReplacesTheUninstallEntrysFolder) {
  // A downloads folder with a product of its own is the current directory:
  // nothing may be looked for, written or started there.
  sim.files.AddFile("C:\\Downloads\\orfa.exe", "MZ");
  sim.files.SetCurrentDirectory("C:\\Downloads");
  struct Row {
    const char* value;
    bool used;
  };
  const Row rows[] = {
      {"", false},           {"Orfa", false},          {".\\", false},
      {"\\Orfa", false},     {"D:Orfa", false},        {"D:", false},
      {"\\\\server", false}, {"\\\\server\\", false}, {"\\\\\\share\\Orfa", false},
      {"\\\\server\\\\x", false},
      {"D:\\Elsewhere", true}, {"d:\\", true},          {"\\\\server\\share\\Orfa", true},
  };
  for (const Row& row : rows) {
    sim.files.AddFile(kInstalledPayload, kInstalledOld);
    sim.files.SetCurrentDirectory("C:\\Downloads");
    sim.ui.Clear();
    sim.registry.SetString(RootKey::CurrentUser, kUserKey, "TheLastRunFolder", row.value);
    const std::string what = "TheLastRunFolder [" + std::string(row.value) + "]";
    EXPECT_EQ(Run({"modest", "runapp"}), 0) << what;
    if (row.used) {  // no product there
      EXPECT_EQ(Texts(), std::vector<std::string>{
                             "There's no Orfa installed.\r\nPlease install the program first."})
          << what;
      EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the old file") << what;
    } else {
      EXPECT_EQ(Texts(), std::vector<std::string>{}) << what;
      EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the payload") << what;
      EXPECT_TRUE(Started()) << what;
      if (Started()) {
        EXPECT_EQ(sim.processes.ShellExecuteCalls().back().file,
                  "C:\\Program Files\\Orfa\\Orfa.exe")
            << what;
      }
    }
  }
  EXPECT_FALSE(sim.files.Exists("C:\\Downloads\\orfm.cok"));
}

TEST_F(UpdateFlowTest, LastRunFolderOfAnotherTypeEndsInTheApplicationErrorBox) {
  sim.registry.SetDword(RootKey::CurrentUser, kUserKey, "TheLastRunFolder", 7);
  EXPECT_EQ(Run(), 1);
  ASSERT_EQ(sim.ui.Calls().size(), 1u);
  const auto& box = sim.ui.Calls()[0].request;
  EXPECT_EQ(box.caption, "Application Error");
  EXPECT_EQ(box.style, 0x2010u);
  EXPECT_EQ(box.text.rfind("Exception ERegistryException in module orfa-update.exe at ", 0), 0u)
      << box.text;
  EXPECT_EQ(box.text.substr(box.text.size() - 3), ".\r\n");
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
}

TEST_F(UpdateFlowTest, UserWithoutRightsGetsNorightAndNothingElse) {
  sim.system.SetAdmin(false);
  sim.processes.HoldMapping("orfa_memfile");
  sim.processes.AddWindow("TOrfaMainForm");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>{"You need administrator rights."});
  EXPECT_EQ(sim.ui.Calls()[0].request.style, 0x200010u);
  EXPECT_EQ(sim.ui.Calls()[0].request.caption, "Orfa");
  EXPECT_TRUE(sim.processes.Posted().empty());
}

TEST_F(UpdateFlowTest, RunningProductIsAskedToQuitBeforeTheQuestion) {
  sim.processes.HoldMapping("orfa_memfile");
  const WindowId window = sim.processes.AddWindow("TOrfaMainForm");
  sim.ui.Answer(kIdNo);
  Run();
  ASSERT_EQ(sim.processes.Posted().size(), 1u);
  EXPECT_EQ(sim.processes.Posted()[0].window, window);
  EXPECT_EQ(sim.processes.Posted()[0].message, 18u);
  EXPECT_EQ(sim.processes.Posted()[0].wParam, 0u);
  EXPECT_EQ(sim.processes.Posted()[0].lParam, 0);
  EXPECT_TRUE(sim.processes.MappingExists("orfa_memfile"));  // only probed, never kept
}

TEST_F(UpdateFlowTest, MappingWithoutWindowPostsNothing) {
  sim.processes.HoldMapping("orfa_memfile");
  sim.ui.Answer(kIdNo);
  Run();
  EXPECT_TRUE(sim.processes.Posted().empty());
  EXPECT_EQ(sim.ui.Calls().size(), 1u);
}

TEST_F(UpdateFlowTest, LockedInstalledFileGivesFilecantopenAfterSeventeenAttempts) {
  HeldFile held = sim.files.HoldOpen(kInstalledPayload, kGenericRead, kShareRead | kShareWrite);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(sim.clock.Sleeps(), std::vector<uint32_t>(17, 256));
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "Can't open C:\\Program Files\\Orfa\\orfm.cok.\r\nClose Orfa."});
  EXPECT_EQ(sim.clock.TotalSlept(), 17u * 256u);
  // The path keeps the system's code page inside the language file's text.
  const CodedText& pieces = sim.ui.Calls()[0].request.textPieces;
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].codePage, 1252u);
  EXPECT_EQ(pieces[1].text, kInstalledPayload);
  EXPECT_EQ(pieces[1].codePage, kCodePageAnsi);
  EXPECT_EQ(pieces[2].codePage, 1252u);
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the old file");
  EXPECT_FALSE(EstimatedSize());
}

TEST_F(UpdateFlowTest, ProductThatQuitsInTimeReleasesTheFile) {
  sim.processes.HoldMapping("orfa_memfile");
  const WindowId window = sim.processes.AddWindow("TOrfaMainForm");
  auto held = std::make_shared<HeldFile>(sim.files.HoldOpen(kInstalledPayload, kGenericRead, kShareNone));
  sim.processes.OnMessage(window, [&, held](const PostedMessage&) { held->ReleaseAfter(1000); });
  sim.ui.Answer(kIdYes);
  sim.ui.Answer(kIdNo);
  Run();
  EXPECT_EQ(sim.clock.Sleeps().size(), 4u);  // 0, 256, 512, 768 fail; 1024 opens
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the payload");
}

TEST_F(UpdateFlowTest, QuietModeWaitsForAProductThatTakesAMomentToQuit) {
  sim.processes.HoldMapping("orfa_memfile");
  const WindowId window = sim.processes.AddWindow("TOrfaMainForm");
  auto held = std::make_shared<HeldFile>(sim.files.HoldOpen(kInstalledPayload, kGenericRead, kShareRead));
  sim.processes.OnMessage(window, [&, held](const PostedMessage&) { held->ReleaseAfter(1500); });
  Run({"modest", "runapp"});
  EXPECT_TRUE(sim.ui.Calls().empty());
  EXPECT_EQ(sim.clock.Sleeps(), std::vector<uint32_t>(6, 256));
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the payload");
  EXPECT_TRUE(Started());
}

TEST_F(UpdateFlowTest, FailedWriteIsReportedAndNotCalledInstalled) {
  // The installed file is held with read sharing: its stamp can't be read in
  // interactive mode, so the quiet mode shows the failed write itself.
  HeldFile held = sim.files.HoldOpen(kInstalledPayload, kGenericRead, kShareRead);
  Run({"modest", "runapp"});
  EXPECT_EQ(sim.clock.Sleeps(), std::vector<uint32_t>(16, 256));  // 17 tries, as step 9 makes
  ASSERT_EQ(sim.ui.Calls().size(), 1u);
  EXPECT_EQ(sim.ui.Calls()[0].request.text,
            "Can't install file C:\\Program Files\\Orfa\\orfm.cok");
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the old file");
  EXPECT_FALSE(sim.files.Exists("C:\\Program Files\\Orfa\\~orfm.cok"));
  EXPECT_TRUE(EstimatedSize());
  EXPECT_TRUE(Started());  // the old file is intact, so the product still starts
}

TEST_F(UpdateFlowTest, FailedWriteInInteractiveModeSkipsTheInstalldoneQuestion) {
  sim.files.SetAttributes(kInstalledPayload, kAttrReadOnly);
  sim.ui.Answer(kIdYes);
  Run();
  ASSERT_EQ(sim.ui.Calls().size(), 2u);
  EXPECT_EQ(sim.ui.Calls()[1].request.text,
            "Can't install file C:\\Program Files\\Orfa\\orfm.cok");
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the old file");
  EXPECT_FALSE(Started());
}

TEST(UpdateFlowEntryTest, EstimatedSizeGoesWhereTheUninstallEntryIs) {
  // The folder's size after a write that failed: 0 KiB, or not measured
  // (the folder gone): no "EstimatedSize" then.
  enum class Size { Measured, ZeroKb, NotMeasured };
  struct Case {
    Entry entry;
    bool is64;
    Size size = Size::Measured;
  };
  for (const Case c : {Case{Entry::Native, false}, Case{Entry::Native, true},
                       Case{Entry::Wow32Only, true}, Case{Entry::None, true},
                       Case{Entry::None, false}, Case{Entry::Native, false, Size::ZeroKb},
                       Case{Entry::Native, false, Size::NotMeasured}}) {
    SimWindows sim;
    sim.Set64BitSystem(c.is64);
    if (c.is64) {
      OsVersionRecord seven;  // Windows 7 x64: the registry works on the 64-bit view
      seven.major = 6;
      seven.minor = 1;
      seven.build = 7601;
      seven.platformId = 2;
      seven.productType = 1;
      sim.system.SetVersion(seven);
    }
    LayOutProduct(sim, c.entry);
    if (c.size != Size::Measured) {
      sim.files.SetAttributes(kInstalledPayload, kAttrReadOnly);
      for (const char* file : {"orfa.exe", "orfm.cok", "language\\english.lng", "language\\russian.lng",
                               "data\\words.pak"}) {
        sim.files.SetListedSize(std::string(kProductFolder) + file, 0);
      }
      if (c.size == Size::NotMeasured) {  // at the failed write's box
        sim.ui.OnMessageBox([&](const MessageBoxCall&) {
          sim.files.Move("C:\\Program Files\\Orfa", "C:\\Program Files\\Orfa.old");
        });
      }
    }
    sim.processes.SetArguments({"modest"});
    RunProgram(sim.Get(), DigestSlotOf(*sim.files.ReadFileBytes(kExecutable)));
    const std::string what = "entry " + std::to_string(static_cast<int>(c.entry)) +
                             (c.is64 ? " on 64-bit" : " on 32-bit") + ", size " +
                             std::to_string(static_cast<int>(c.size));
    if (c.size == Size::Measured) {
      EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the payload") << what;
    }
    const auto native = sim.registry.GetDword(RootKey::LocalMachine, kUninstallEntry,
                                              "EstimatedSize", RegView::Native);
    const auto wow = sim.registry.GetDword(RootKey::LocalMachine, kUninstallEntry,
                                           "EstimatedSize", RegView::Wow32);
    EXPECT_EQ(native.has_value(), c.entry == Entry::Native && c.size != Size::NotMeasured) << what;
    if (c.size == Size::ZeroKb) {
      EXPECT_EQ(native, std::optional<uint32_t>(0)) << what;
    }
    if (c.is64) {
      EXPECT_EQ(wow.has_value(), c.entry == Entry::Wow32Only) << what;
    }
    if (c.entry != Entry::Native) {
      // No orphan entry holding only the size is ever made.
      EXPECT_FALSE(sim.registry.KeyExists(RootKey::LocalMachine, kUninstallEntry, RegView::Native))
          << what;
    }
  }
}

TEST_F(UpdateFlowTest, DamagedOrUnreadableExecutableStopsBeforeAnythingIsWritten) {
  std::string image = *sim.files.ReadFileBytes(kExecutable);
  const std::string slot = DigestSlotOf(image);
  image[0x300] ^= 1;
  sim.files.AddFile(kExecutable, image);
  sim.processes.SetArguments({"modest"});
  EXPECT_EQ(RunProgram(sim.Get(), slot), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>{"The installer is damaged."});

  sim.ui.Clear();
  sim.files.OpenFails(kExecutable, kErrorAccessDenied);
  EXPECT_EQ(RunProgram(sim.Get(), slot), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>{"The installer cannot be checked."});
  EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the old file");
  EXPECT_FALSE(EstimatedSize());
}

TEST_F(UpdateFlowTest, SelfCheckTakesThePayloadFromTheLoadedImage) {
  // A payload larger than the check's first read of its executable: the
  // loaded one is checked in memory, and is what gets installed.
  const std::string payload = PayloadWithStamp(13 + 32, 3 << 20);
  const std::string image = MakeExecutableImage(true, payload);
  std::string changed = payload;
  changed[2 << 20] ^= 1;
  struct Row {
    const char* what;
    std::string resource;
    std::optional<uint64_t> rva;
    std::vector<std::string> texts;
    bool installed;
    bool payloadRead;  // the file's copy of it
  };
  const Row rows[] = {
      {"in the loaded image", payload, kPayloadRva, {}, true, false},
      {"changed in memory", changed, kPayloadRva, {"The installer is damaged."}, false, false},
      {"not in the loaded image", payload, std::nullopt, {}, true, true},
  };
  for (const Row& row : rows) {
    SimWindows fresh;
    LayOutProduct(fresh);
    fresh.files.AddFile(kExecutable, image);
    fresh.resources.AddResource("ORFM", "COK", row.resource, row.rva);
    fresh.processes.SetArguments({"modest"});
    EXPECT_EQ(RunProgram(fresh.Get(), DigestSlotOf(image)), 0) << row.what;
    std::vector<std::string> texts;
    for (const auto& call : fresh.ui.Calls()) texts.push_back(call.request.text);
    EXPECT_EQ(texts, row.texts) << row.what;
    EXPECT_EQ(fresh.files.ReadFileBytes(kInstalledPayload) == payload, row.installed) << row.what;
    EXPECT_EQ(fresh.files.BytesRead() > payload.size(), row.payloadRead) << row.what;
  }
}

// The unattended mode: each outcome's exit code and log; no box, no system
// error box. The outcomes Wine can stage (installed, no product, a broken
// language file, a damaged package) are rows of the end-to-end test of the
// shipped executable; here the others, and the two write failures that
// only the failure's error code tells apart.
TEST(UnattendedTest, EachOutcomeHasItsExitCodeAndEndsTheLog) {
  const std::string cantInstall =
      "[Orfa update] Can't install file C:\\Program Files\\Orfa\\orfm.cok";
  const auto nothing = [](SimWindows&) {};
  struct Case {
    std::function<void(SimWindows&)> stage;
    int exitCode;
    std::string end, event;  // the log's end line; a line a box would have shown
    PayloadIdentity payload = PayloadIdentity();
  };
  const Case cases[] = {
      {[](SimWindows& s) { s.system.SetAdmin(false); }, 740, "no administrator rights",
       "[Orfa] You need administrator rights."},
      {[](SimWindows& s) {
         s.files.HoldOpen(kInstalledPayload, kGenericRead, kShareRead).ReleaseAfter(1u << 30);
       },
       1618, "product still running or its file in use", cantInstall},
      {[](SimWindows& s) { s.files.SetAttributes(kInstalledPayload, kAttrReadOnly); }, 5,
       "file could not be written", cantInstall},
      {[](SimWindows& s) { s.files.AddFile(kInstalledPayload, kInstalledNew); }, 0, "already installed", ""},
      // The flush after the rename fails: the file is in place all the same.
      {[](SimWindows& s) { s.files.FlushFails(kInstalledPayload, kErrorDiskFull); }, 0, "installed", ""},
      // A newer file, held until the product has let go of it.
      {[](SimWindows& s) {
         s.files.AddFile(kInstalledPayload, PayloadWithStamp(14 + 32));
         s.files.HoldOpen(kInstalledPayload, kGenericRead, kShareNone).ReleaseAfter(1000);
       },
       1638, "a newer file is installed", ""},
      {nothing, 1392, "update package damaged",
       "[Orfa update] Can't install file C:\\Program Files\\Orfa\\orfx.cok",
       PayloadIdentity{"accordion", "orfx.cok", 13}},
      {[](SimWindows& s) {
         s.registry.SetDword(RootKey::CurrentUser,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                             "Programs", 1);
       },
       1010, "registry unreadable", "[Orfa update] No access to system registry"},
      {[](SimWindows& s) {
         s.registry.SetDword(RootKey::CurrentUser, kUserKey, "TheLastRunFolder", 7);
       },
       1603, "failed (application error)", "[Application Error] Exception ERegistryException in module"},
  };
  for (const Case& c : cases) {
    SimWindows sim;
    LayOutProduct(sim);
    sim.files.AddFolder("C:\\Windows");
    const std::string slot = DigestSlotOf(*sim.files.ReadFileBytes(kExecutable));
    c.stage(sim);
    sim.processes.SetArguments({"Unattended", ""});
    EXPECT_EQ(RunProgram(sim.Get(), slot, c.payload), c.exitCode) << c.end;
    EXPECT_TRUE(sim.ui.Calls().empty() && sim.unattended.BoxesSuppressed()) << c.end;
    EXPECT_TRUE(sim.files.IsAdminFolder("C:\\Windows\\Logs\\Orfa"));
    const std::string log = sim.files.ReadFileBytes(kDefaultLog).value_or("");
    EXPECT_EQ(log.rfind("2026-12-10 03:04:05 start: update " + c.payload.FileName +
                            ", version 13; command line: Unattended \"\"\r\n", 0), 0u) << log;
    const std::string end = " end: " + c.end + "; exit code " + std::to_string(c.exitCode) + "\r\n";
    EXPECT_EQ(log.compare(log.size() - end.size(), end.size(), end), 0) << log;
    EXPECT_EQ(log.find(" message: " + c.event) != std::string::npos, !c.event.empty()) << log;
  }
}

TEST(UnattendedTest, TheLogGoesWhereItIsSafeAndNeverStopsTheUpdate) {
  const std::string temp = kDefaultLog;
  const std::string named = "C:\\Logs\\e.log";
  struct Case {
    std::vector<std::string> arguments;
    std::string path;                             // where the log goes
    std::function<void(sim::SimFileSystem&)> plant;  // there before the run
    bool logged;
  };
  const auto nothing = [](sim::SimFileSystem&) {};
  const auto linkTo = [](const std::string& at) {
    return [at](sim::SimFileSystem& fs) { fs.AddFileLink(at, "C:\\Victim.txt"); };
  };
  const auto secondName = [](const std::string& at) {
    return [at](sim::SimFileSystem& fs) {
      fs.AddFile(at, "old\r\n");
      fs.SetLinkCount(at, 2);
    };
  };
  const Case cases[] = {
      {{"unattended"}, temp, nothing, true},
      {{"unattended", "LOG=C:\\Logs\\a.log"}, "C:\\Logs\\a.log", nothing, true},
      {{"unattended", "RUNAPP", "log=C:\\Logs\\b.log"}, "C:\\Logs\\b.log", nothing, true},
      {{"unattended", "log="}, temp, nothing, true},
      {{"unattended", "log=C:\\Missing\\c.log"}, "C:\\Missing\\c.log", nothing, false},
      {{"unattended", "other", "log=C:\\Logs\\d.log"}, temp, nothing, true},
      {{"unattended"}, temp, linkTo(temp), false},
      {{"unattended"}, temp, [&](sim::SimFileSystem& fs) { fs.AddFolder(temp); }, false},
      {{"unattended"}, temp, secondName(temp), false},
      {{"unattended"}, temp, [&](sim::SimFileSystem& fs) { fs.AddFile(temp, "old\r\n"); }, true},
      {{"unattended"}, temp,
       [&](sim::SimFileSystem& fs) {
         fs.AddFile(temp, "planted\r\n");
         fs.SetOwnedByUser(temp);
       },
       false},
      {{"unattended", "log=" + named}, named, secondName(named), true},
      {{"unattended", "log=" + named}, named, linkTo(named), false},
  };
  for (const Case& c : cases) {
    SimWindows sim;
    LayOutProduct(sim);
    sim.files.AddFolder("C:\\Windows");
    sim.files.AddFolder("C:\\Logs");
    sim.files.AddFile("C:\\Victim.txt", "victim");
    c.plant(sim.files);
    const std::string before = sim.files.IsLink(c.path) ? "" : sim.files.ReadFileBytes(c.path).value_or("");
    sim.processes.SetArguments(c.arguments);
    EXPECT_EQ(RunProgram(sim.Get(), DigestSlotOf(*sim.files.ReadFileBytes(kExecutable))), 0);
    EXPECT_EQ(Describe(sim.files.ReadFileBytes(kInstalledPayload)), "the payload");
    EXPECT_EQ(sim.files.ReadFileBytes("C:\\Victim.txt"), "victim");
    const std::string log = sim.files.IsLink(c.path) ? "" : sim.files.ReadFileBytes(c.path).value_or("");
    EXPECT_EQ(log.size() > before.size(), c.logged) << c.arguments.back() << "\n" << log;
    EXPECT_EQ(log.compare(0, before.size(), before), 0);  // appended to, never replaced
  }
}

}  // namespace
}  // namespace orfa
