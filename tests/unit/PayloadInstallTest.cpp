// Writing a resource of the own executable over a file: the direct mode and
// the checked replacement with its question and the progress window around it.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/SetupContext.h"
#include "install/Payload.h"
#include "tests/sim/SimWindows.h"
#include "ui/ProgressWindow.h"

namespace orfa {
namespace {

const std::string kTarget = "C:\\Orfa\\orfm.cok";
const std::string kTemp = "C:\\Orfa\\~orfm.cok";
// A file outside the product folder that a link planted in it leads to.
const std::string kVictim = "C:\\victim.txt";
const std::string kGroupRu = "\xCE\xE1\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5 \"\xCE\xF0\xF4\xE0\"";
const std::string kCantInstallRu =
    "\xCD\xE5 \xF3\xE4\xE0\xE5\xF2\xF1\xFF \xF3\xF1\xF2\xE0\xED\xEE\xE2\xE8\xF2\xFC \xF4\xE0\xE9\xEB ";

// A "cok" data file: four leading bytes, the update stamp, the data version.
std::string Cok(int dataVersion, size_t size = 64, char fill = 'd') {
  std::string bytes = "orfm";
  bytes += static_cast<char>(13 + 32);
  bytes += static_cast<char>(dataVersion & 0xFF);
  bytes += static_cast<char>((dataVersion >> 8) & 0xFF);
  bytes.resize(size < bytes.size() ? bytes.size() : size, fill);
  return bytes;
}

class InstallTest : public ::testing::Test {
 protected:
  InstallTest() {
    ctx.GroupNameEn = "Orfa update";
    ctx.GroupNameRu = kGroupRu;
    sim.files.AddFolder("C:\\Orfa");
  }

  bool Install(const std::string& type, const std::string& target, bool check) {
    return InstallResourceFile(ctx, "orfm", type, target, check);
  }

  std::string FileAt(const std::string& path) const {
    return sim.files.ReadFileBytes(path).value_or("<none>");
  }

  void ExpectInstallError(const std::string& target) {
    ASSERT_EQ(sim.ui.Calls().size(), 1u);
    const MessageBoxRequest& box = sim.ui.Calls()[0].request;
    EXPECT_EQ(box.text, (ctx.UseRussian ? kCantInstallRu : "Can't install file ") + target);
    EXPECT_EQ(box.caption, ctx.UseRussian ? kGroupRu : "Orfa update");
    EXPECT_EQ(box.style, kErrorStyle);
    if (ctx.UseRussian) {
      // The path stays in the system's code page inside the Windows-1251 text.
      ASSERT_EQ(box.textPieces.size(), 2u);
      EXPECT_EQ(box.textPieces[0].codePage, kCodePageRussian);
      EXPECT_EQ(box.textPieces[1].text, target);
      EXPECT_EQ(box.textPieces[1].codePage, kCodePageAnsi);
    }
  }

  void ExpectClean() {
    EXPECT_EQ(sim.resources.LiveResourceCount(), 0u);
    EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
  }

  SimWindows sim;
  SetupContext ctx{sim.Get()};
};

// ---------------------------------------------------------------- direct mode

TEST_F(InstallTest, DirectModeOverwritesWithoutQuestionOrProgress) {
  const std::string payload = Cok(120, 5000, 'n');
  sim.resources.AddResource("ORFM", "COK", payload);
  sim.files.AddFile(kTarget, Cok(500, 9000, 'o'));  // newer and larger
  EXPECT_TRUE(Install("cok", kTarget, false));
  EXPECT_EQ(FileAt(kTarget), payload);
  EXPECT_FALSE(sim.files.Exists(kTemp));
  EXPECT_TRUE(sim.ui.Calls().empty());
  EXPECT_EQ(ctx.ProgressWindow, nullptr);
  EXPECT_TRUE(sim.progress.Calls().empty());
  ExpectClean();
}

TEST_F(InstallTest, DirectModeCreatesAMissingTarget) {
  sim.resources.AddResource("ORFM", "COK", Cok(120));
  EXPECT_TRUE(Install("cok", kTarget, false));
  EXPECT_EQ(FileAt(kTarget), Cok(120));
  EXPECT_FALSE(sim.files.Exists(kTemp));
  EXPECT_TRUE(sim.ui.Calls().empty());
}

TEST_F(InstallTest, FailedDirectWriteKeepsTheInstalledFileAndLeavesNoTemporaryFile) {
  const std::string old = Cok(100, 3000, 'o');
  enum class Trouble { HeldExclusively, HeldSharing, ReadOnly, DiskFull, TempCannotBeCreated,
                       FlushFails, EveryNameTaken };
  const std::string names[] = {kTemp, "C:\\Orfa\\~~orfm.cok", "C:\\Orfa\\~~~orfm.cok",
                               "C:\\Orfa\\~~~~orfm.cok"};
  sim.files.AddFile(kVictim, "victim");
  for (bool russian : {false, true}) {
    for (Trouble trouble : {Trouble::HeldExclusively, Trouble::HeldSharing, Trouble::ReadOnly,
                            Trouble::DiskFull, Trouble::TempCannotBeCreated, Trouble::FlushFails,
                            Trouble::EveryNameTaken}) {
      SCOPED_TRACE(static_cast<int>(trouble));
      sim.ui.Clear();
      ctx.UseRussian = russian;
      sim.resources.AddResource("ORFM", "COK", Cok(120, 4000, 'n'));
      sim.files.AddFile(kTarget, old, trouble == Trouble::ReadOnly ? kAttrReadOnly : kAttrArchive);
      HeldFile held;
      if (trouble == Trouble::HeldExclusively)
        held = sim.files.HoldOpen(kTarget, kGenericRead, kShareNone);
      if (trouble == Trouble::HeldSharing)
        held = sim.files.HoldOpen(kTarget, kGenericRead | kGenericWrite, kShareRead | kShareWrite);
      if (trouble == Trouble::DiskFull) sim.files.SetDiskFree(1000);
      if (trouble == Trouble::TempCannotBeCreated) sim.files.OpenFails(kTemp, kErrorWriteProtect);
      if (trouble == Trouble::FlushFails) sim.files.FlushFails(kTemp, kErrorDiskFull);
      // Another user's links at every name the installer would make.
      if (trouble == Trouble::EveryNameTaken)
        for (const std::string& name : names) sim.files.AddFileLink(name, kVictim);

      EXPECT_FALSE(Install("cok", kTarget, false));
      ExpectInstallError(kTarget);
      EXPECT_EQ(ctx.WriteFailureCode == kErrorSharingViolation,
                trouble == Trouble::HeldExclusively || trouble == Trouble::HeldSharing);
      held.Release();
      sim.files.SetDiskFree(std::nullopt);
      sim.files.OpenFails(kTemp, 0);
      sim.files.FlushFails(kTemp, 0);
      EXPECT_EQ(FileAt(kTarget), old);
      EXPECT_EQ(FileAt(kVictim), "victim");
      // The planted links are another's; nothing of this run stays.
      for (const std::string& name : names) {
        EXPECT_EQ(sim.files.IsLink(name), trouble == Trouble::EveryNameTaken);
        sim.files.Delete(name);
      }
      EXPECT_FALSE(sim.files.Exists(kTemp));
      ExpectClean();
      sim.files.SetAttributes(kTarget, kAttrArchive);
    }
  }
}

TEST_F(InstallTest, MissingResourceLeavesTheTargetUnchanged) {
  sim.files.AddFile(kTarget, "installed");
  EXPECT_FALSE(Install("cok", kTarget, false));
  ExpectInstallError(kTarget);
  EXPECT_EQ(FileAt(kTarget), "installed");

  sim.ui.Clear();
  sim.resources.AddResource("ORFM", "COK", Cok(120));
  sim.resources.LoadFails(kErrorNotEnoughMemory);
  EXPECT_FALSE(Install("cok", kTarget, true));
  ExpectInstallError(kTarget);
  EXPECT_EQ(FileAt(kTarget), "installed");
  EXPECT_FALSE(sim.files.Exists(kTemp));
  ExpectClean();
}

TEST_F(InstallTest, MissingTargetFolderIsReported) {
  sim.resources.AddResource("ORFM", "COK", Cok(120));
  EXPECT_FALSE(Install("cok", "C:\\Gone\\orfm.cok", false));
  ExpectInstallError("C:\\Gone\\orfm.cok");
}

// ---------------------------------------------------------------- checked mode

TEST_F(InstallTest, CheckedModeWritesDirectlyWithoutAFileOrForOtherTypes) {
  const struct {
    const char* type;
    bool targetExists;
  } cases[] = {
      {"cok", false},
      {"PAK", true},  // types are compared case-sensitively
      {"exe", true},
      {"txt", true},
  };
  for (const auto& c : cases) {
    SimWindows local;
    SetupContext run(local.Get());
    local.resources.AddResource("orfm", c.type, Cok(1));
    if (c.targetExists) local.files.AddFile(kTarget, Cok(900));
    local.files.AddFolder("C:\\Orfa");
    EXPECT_TRUE(InstallResourceFile(run, "orfm", c.type, kTarget, true)) << c.type;
    EXPECT_EQ(local.files.ReadFileBytes(kTarget), Cok(1)) << c.type;
    EXPECT_FALSE(local.files.Exists(kTemp)) << c.type;
    EXPECT_TRUE(local.ui.Calls().empty()) << c.type;
    EXPECT_EQ(run.ProgressWindow, nullptr) << c.type;
  }
}

TEST_F(InstallTest, EqualOrNewerVersionsReplaceWithoutQuestion) {
  for (int installed : {120, 119, 0}) {
    sim.resources.AddResource("ORFM", "COK", Cok(120, 100, 'n'));
    sim.files.AddFile(kTarget, Cok(installed, 200, 'o'));
    EXPECT_TRUE(Install("cok", kTarget, true)) << installed;
    EXPECT_EQ(FileAt(kTarget), Cok(120, 100, 'n')) << installed;
    EXPECT_FALSE(sim.files.Exists(kTemp));
    EXPECT_TRUE(sim.ui.Calls().empty());
    EXPECT_EQ(ctx.ProgressWindow, nullptr);
  }
}

TEST_F(InstallTest, LanguageFileWithExclamationMarkIsReplacedWithoutComparison) {
  const std::string target = "C:\\Orfa\\language!\\english.lng";
  sim.resources.AddResource("english", "lng", "[langver]\r\n1\r\n");
  sim.files.AddFile(target, "[langver]\r\n9\r\n");
  EXPECT_TRUE(InstallResourceFile(ctx, "english", "lng", target, true));
  EXPECT_EQ(FileAt(target), "[langver]\r\n1\r\n");
  EXPECT_FALSE(sim.files.Exists("C:\\Orfa\\language!\\~english.lng"));
  EXPECT_TRUE(sim.ui.Calls().empty());

  const std::string plain = "C:\\Orfa\\language\\english.lng";
  sim.files.AddFile(plain, "[langver]\r\n9\r\n");
  sim.ui.Answer(kIdYes);
  EXPECT_TRUE(InstallResourceFile(ctx, "english", "lng", plain, true));
  EXPECT_EQ(sim.ui.Calls().size(), 1u);  // older: asked
  EXPECT_EQ(FileAt(plain), "[langver]\r\n1\r\n");
}

TEST_F(InstallTest, OlderFileIsPutInPlaceOnlyAfterYes) {
  for (int answer : {kIdYes, kIdNo}) {
    SimWindows local;
    SetupContext run(local.Get());
    local.resources.AddResource("ORFM", "COK", Cok(120, 100, 'n'));
    local.files.AddFile(kTarget, Cok(121, 200, 'o'));
    local.ui.Answer(answer);
    // The new file is held from its creation until it stands at the
    // target's name: during the question nobody can delete or move it.
    local.ui.OnMessageBox([&](const MessageBoxCall&) {
      EXPECT_EQ(local.files.Delete(kTemp), kErrorSharingViolation);
      EXPECT_EQ(local.files.Move(kTemp, "C:\\Orfa\\swapped.cok"), kErrorSharingViolation);
      // and it is marked for deletion, so that a run killed now leaves nothing
      uint32_t error = 0;
      EXPECT_FALSE(local.files.Open(kTemp, kReadAttributes, kShareRead, Disposition::OpenExisting, &error));
      EXPECT_EQ(error, kErrorAccessDenied);
    });
    EXPECT_EQ(InstallResourceFile(run, "orfm", "cok", kTarget, true), answer == kIdYes);
    ASSERT_EQ(local.ui.Calls().size(), 1u);
    EXPECT_EQ(local.files.ReadFileBytes(kTarget),
              answer == kIdYes ? Cok(120, 100, 'n') : Cok(121, 200, 'o'));
    EXPECT_FALSE(local.files.Exists(kTemp));
    EXPECT_NE(run.ProgressWindow, nullptr);  // shown again after the question
    EXPECT_EQ(local.progress.ThreadsStarted(), 1u);
    EXPECT_EQ(local.resources.LiveResourceCount(), 0u);
    EXPECT_EQ(local.files.LogicHandleCount(), 0u);
  }
}

TEST_F(InstallTest, CheckedModeFailuresKeepTheFileInPlaceAndLeaveNoTemporaryFile) {
  enum class Trouble { TargetHeld, TargetReadOnly, TargetOpenedDuringQuestion,
                       TempCannotBeCreated, DiskFull };
  const struct {
    Trouble trouble;
  } cases[] = {
      {Trouble::TargetHeld},
      {Trouble::TargetReadOnly},
      {Trouble::TargetOpenedDuringQuestion},
      {Trouble::TempCannotBeCreated},
      {Trouble::DiskFull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.trouble));
    SimWindows local;
    SetupContext run(local.Get());
    run.GroupNameEn = "Orfa update";
    const std::string payload = Cok(120, 2000, 'n');
    const bool asks = c.trouble == Trouble::TargetOpenedDuringQuestion;
    const std::string old = Cok(asks ? 121 : 120, 100, 'o');
    local.resources.AddResource("ORFM", "COK", payload);
    local.files.AddFile(kTarget, old,
                        c.trouble == Trouble::TargetReadOnly ? kAttrReadOnly : kAttrArchive);
    HeldFile held;
    if (c.trouble == Trouble::TargetHeld) held = local.files.HoldOpen(kTarget, kGenericRead, kShareNone);
    if (c.trouble == Trouble::TempCannotBeCreated) local.files.OpenFails(kTemp, kErrorWriteProtect);
    if (c.trouble == Trouble::DiskFull) local.files.SetDiskFree(1000);
    if (asks) {
      // While the question is on screen another program opens the target.
      local.ui.Answer(kIdYes);
      local.ui.OnMessageBox([&](const MessageBoxCall&) {
        held = local.files.HoldOpen(kTarget, kGenericRead, kShareRead | kShareWrite);
      });
    }

    EXPECT_FALSE(InstallResourceFile(run, "orfm", "cok", kTarget, true));
    const auto& calls = local.ui.Calls();
    ASSERT_EQ(calls.size(), asks ? 2u : 1u);
    EXPECT_EQ(calls.back().request.text, "Can't install file " + kTarget);
    EXPECT_EQ(calls.back().request.style, kErrorStyle);
    held.Release();
    EXPECT_TRUE(local.files.ReadFileBytes(kTarget) == old);
    EXPECT_FALSE(local.files.Exists(kTemp));
    EXPECT_FALSE(local.files.Exists(TempNameFor(kTemp)));
    // A target held open is waited for a moment.
    const bool waited = asks || c.trouble == Trouble::TargetHeld;
    EXPECT_EQ(local.clock.Sleeps(), std::vector<uint32_t>(waited ? 7 : 0, 64));
    EXPECT_EQ(local.resources.LiveResourceCount(), 0u);
    EXPECT_EQ(local.files.LogicHandleCount(), 0u);
  }
}

// ---------------------------------------------------------------- durability

// Flushed, renamed over the target through its handle, and flushed again
// through it, which writes the rename through.
TEST_F(InstallTest, NewFileIsFlushedAndReplacesTheOldOneInOneWrittenThroughStep) {
  for (bool check : {false, true}) {
    SimWindows local;
    SetupContext run(local.Get());
    local.resources.AddResource("ORFM", "COK", Cok(120, 3000, 'n'));
    local.files.AddFile(kTarget, Cok(119, 100, 'o'));
    EXPECT_TRUE(InstallResourceFile(run, "orfm", "cok", kTarget, check));
    ASSERT_EQ(local.files.Moves().size(), 1u) << check;
    const sim::MoveRecord& move = local.files.Moves()[0];
    EXPECT_EQ(move.from, kTemp);
    EXPECT_EQ(move.to, kTarget);
    EXPECT_TRUE(move.replace && move.writeThrough && move.sourceFlushed) << check;
    EXPECT_EQ(local.files.FlushCount(), 2u);
    // The bytes went to the file straight from the resource, in one write.
    const auto resource = local.resources.Load("orfm", "cok", nullptr);
    ASSERT_EQ(local.files.Writes().size(), 1u);
    EXPECT_EQ(local.files.Writes()[0].first, resource->Data());
    EXPECT_EQ(local.files.Writes()[0].second, resource->Size());
  }
}

// What stands at the names the installer makes beside the target
// (~orfm.cok, ~~orfm.cok, ...) never stops the update: its own plain files,
// left by a killed run, are deleted; anything else (read-only, a folder, a
// file with another name elsewhere, a link, something that a create made
// into no plain file) is left as it is, and the next name is taken, up to
// the fourth. A leftover that another program still has open stays
// delete-pending once deleted; its name counts as taken.
TEST_F(InstallTest, NothingAtTheNamesBesideTheTargetStopsTheUpdate) {
  enum class Entry { None, Own, OwnHidden, OwnSystem, OwnOpen, ReadOnly, Folder, HardLink, Link,
                     BecomesLink };
  const std::string names[] = {kTemp, "C:\\Orfa\\~~orfm.cok", "C:\\Orfa\\~~~orfm.cok",
                               "C:\\Orfa\\~~~~orfm.cok"};
  const std::vector<Entry> cases[] = {
      {Entry::Own, Entry::Own},  // what a run killed at the wrong moment left
      {Entry::OwnHidden, Entry::OwnSystem},
      {Entry::ReadOnly},
      {Entry::Folder, Entry::ReadOnly},  // the spare name is taken as well
      {Entry::Folder, Entry::ReadOnly, Entry::Link},  // the fourth name is free
      {Entry::HardLink, Entry::Own},
      {Entry::Link, Entry::Link, Entry::Own},
      {Entry::BecomesLink},
      {Entry::OwnOpen},
  };
  for (const auto& entries : cases) {
    for (bool check : {false, true}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(entries[0]) << " " << entries.size()
                                      << (check ? ", checked" : ", direct"));
      SimWindows local;
      SetupContext run(local.Get());
      local.resources.AddResource("ORFM", "COK", Cok(120));
      local.files.AddFile(kTarget, Cok(119, 100, 'o'));
      local.files.AddFile(kVictim, "victim");
      HeldFile scanner;
      for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& name = names[i];
        switch (entries[i]) {
          case Entry::None: break;
          case Entry::Own: local.files.AddFile(name, std::string(70000, 'k')); break;
          case Entry::OwnHidden: local.files.AddFile(name, "", kAttrHidden); break;
          case Entry::OwnSystem: local.files.AddFile(name, "", kAttrSystem); break;
          case Entry::OwnOpen:
            local.files.AddFile(name, "k");
            scanner = local.files.HoldOpen(name, kGenericRead, kShareRead | kShareWrite | kShareDelete);
            break;
          case Entry::ReadOnly: local.files.AddFile(name, "ro", kAttrReadOnly | kAttrHidden); break;
          case Entry::Folder: local.files.AddFolder(name); break;
          case Entry::HardLink:
            local.files.AddFile(name, "linked");
            local.files.SetLinkCount(name, 2);
            break;
          case Entry::Link: local.files.AddFileLink(name, kVictim); break;
          case Entry::BecomesLink: local.files.CreatedAs(name, kAttrArchive | kAttrReparsePoint); break;
        }
      }
      EXPECT_TRUE(InstallResourceFile(run, "orfm", "cok", kTarget, check));
      EXPECT_EQ(local.files.ReadFileBytes(kTarget), Cok(120));
      EXPECT_TRUE(local.ui.Calls().empty());
      EXPECT_TRUE(local.clock.Sleeps().empty());
      scanner.Release();
      for (size_t i = 0; i < 4; ++i) {
        const Entry entry = i < entries.size() ? entries[i] : Entry::None;
        const bool stays = entry == Entry::ReadOnly || entry == Entry::Folder ||
                           entry == Entry::HardLink || entry == Entry::Link ||
                           entry == Entry::BecomesLink;
        EXPECT_EQ(local.files.Exists(names[i]), stays) << names[i];
      }
      EXPECT_EQ(local.files.ReadFileBytes(kVictim), "victim");
      EXPECT_EQ(local.files.LogicHandleCount(), 0u);
    }
  }
}

// A link that another user planted in the product folder, where the elevated
// installer writes: at the temporary name, leading to a file outside or to
// none, or to a folder; or at the target's own name. Nothing is written,
// moved or removed through it; a link at the temporary name is left alone
// and the next name taken, one at the target's name is replaced itself.
// Links as Windows sees them, and as Wine sees a Unix link (which it cannot
// tell from what it leads to).
TEST_F(InstallTest, PlantedLinkIsLeftAloneNeverFollowed) {
  enum class Plant { TempToFile, TempToNothing, TempToFolder, TargetToFile };
  const char* const names[] = {"temp to file", "temp to nothing", "temp to folder",
                               "target to file"};
  for (bool followedByName : {false, true}) {
    for (Plant plant : {Plant::TempToFile, Plant::TempToNothing, Plant::TempToFolder,
                        Plant::TargetToFile}) {
      for (bool check : {false, true}) {
        SCOPED_TRACE(testing::Message() << (followedByName ? "Wine's links, " : "Windows' links, ")
                                        << names[static_cast<int>(plant)]
                                        << (check ? ", checked" : ", direct"));
        SimWindows local;
        SetupContext run(local.Get());
        local.files.SetLinksFollowedByName(followedByName);
        local.resources.AddResource("ORFM", "COK", Cok(120));
        local.files.AddFile(kTarget, Cok(119, 100, 'o'));
        local.files.AddFile(kVictim, "victim");
        local.files.AddFile("C:\\Elsewhere\\big.bin", "elsewhere");
        switch (plant) {
          case Plant::TempToFile: local.files.AddFileLink(kTemp, kVictim); break;
          case Plant::TempToNothing: local.files.AddFileLink(kTemp, "C:\\missing.txt"); break;
          case Plant::TempToFolder: local.files.AddFolderLink(kTemp, "C:\\Elsewhere"); break;
          case Plant::TargetToFile:
            local.files.Delete(kTarget);
            local.files.AddFileLink(kTarget, kVictim);
            break;
        }
        EXPECT_TRUE(InstallResourceFile(run, "orfm", "cok", kTarget, check));
        EXPECT_EQ(local.files.ReadFileBytes(kTarget), Cok(120));
        EXPECT_FALSE(local.files.IsLink(kTarget));
        EXPECT_EQ(local.files.IsLink(kTemp), plant != Plant::TargetToFile);
        EXPECT_FALSE(local.files.Exists(TempNameFor(kTemp)));
        EXPECT_EQ(local.files.ReadFileBytes(kVictim), "victim");
        EXPECT_FALSE(local.files.Exists("C:\\missing.txt"));
        EXPECT_EQ(local.files.ReadFileBytes("C:\\Elsewhere\\big.bin"), "elsewhere");
        EXPECT_TRUE(local.ui.Calls().empty());
        EXPECT_EQ(local.files.LogicHandleCount(), 0u);
      }
    }
  }
}

// ---------------------------------------------------------------- a target in use

TEST_F(InstallTest, WaitForATargetInUseRetriesUntilItIsReleased) {
  const InUseWait wait{17, 256};
  const struct {
    std::optional<uint64_t> releasedAfterMs;  // nullopt: never
    bool readOnly;
    size_t sleeps;
    bool installed;
    int refusals = 0;  // the replacing step's own answer, whoever holds the file
    uint32_t refusal = kErrorSharingViolation;
    uint32_t holdAccess = kGenericRead;  // what the holder opened it for
    uint32_t failure = kErrorSuccess;    // the code of the failure that ended the write
  } cases[] = {
      {1500, false, 6, true},       // 0 .. 1280 in use, 1536 free
      {0, false, 0, true},          // not held at all
      {std::nullopt, false, 16, false, 0, 0, kGenericRead, kErrorSharingViolation},
      {std::nullopt, true, 0, false, 0, 0, kGenericRead, kErrorAccessDenied},  // read-only: no waiting
      {0, false, 2, true, 2},
      // Held for its attributes only, which "access denied" answers: a second
      // run's flush, an indexer.
      {1500, false, 6, true, 0, 0, kReadAttributes},
      {std::nullopt, false, 16, false, 0, 0, kReadAttributes, kErrorAccessDenied},
      {0, false, 0, false, 1, kErrorInvalidParameter, kGenericRead, kErrorInvalidParameter},
  };
  for (const auto& c : cases) {
    SimWindows local;
    SetupContext run(local.Get());
    local.resources.AddResource("ORFM", "COK", Cok(120));
    local.files.AddFile(kTarget, Cok(119), c.readOnly ? kAttrReadOnly : kAttrArchive);
    HeldFile held;
    if (c.releasedAfterMs != uint64_t{0})
      held = local.files.HoldOpen(kTarget, c.holdAccess, kShareRead | (c.holdAccess == kGenericRead ? 0 : kShareWrite | kShareDelete));
    if (c.releasedAfterMs && *c.releasedAfterMs > 0) held.ReleaseAfter(*c.releasedAfterMs);
    local.files.ReplaceFails(kTarget, c.refusal, c.refusals);
    EXPECT_EQ(InstallResourceFile(run, "orfm", "cok", kTarget, false, wait), c.installed);
    EXPECT_EQ(run.WriteFailureCode, c.failure);
    EXPECT_EQ(local.clock.Sleeps(), std::vector<uint32_t>(c.sleeps, 256)) << c.sleeps;
    EXPECT_EQ(local.ui.Calls().size(), c.installed ? 0u : 1u);
    held.Release();
    EXPECT_TRUE(local.files.ReadFileBytes(kTarget) == (c.installed ? Cok(120) : Cok(119)));
    EXPECT_FALSE(local.files.Exists(kTemp));
  }
}

// ---------------------------------------------------------------- the question

TEST_F(InstallTest, QuestionComesInThreeForms) {
  const std::string englishText =
      kTarget + " file installing is of older version\r\n"
                "than the same already installed.\r\n\r\n"
                "Do you really want to replace existing\r\n"
                "new file version 121 with an older file version 120?";
  const std::string russianText =
      "\xD3\xF1\xF2\xE0\xED\xE0\xE2\xEB\xE8\xE2\xE0\xE5\xEC\xFB\xE9 \xF4\xE0\xE9\xEB " + kTarget +
      "\r\n"
      "\xE1\xEE\xEB\xE5\xE5 \xF1\xF2\xE0\xF0\xEE\xE9 \xE2\xE5\xF0\xF1\xE8\xE8, \xF7\xE5\xEC \xF3\xE6"
      "\xE5 \xF3\xF1\xF2\xE0\xED\xEE\xE2\xEB\xE5\xED\xED\xFB\xE9.\r\n\r\n"
      "\xC4\xE5\xE9\xF1\xF2\xE2\xE8\xF2\xE5\xEB\xFC\xED\xEE \xEB\xE8 \xC2\xFB \xF5\xEE\xF2\xE8\xF2"
      "\xE5 \xE7\xE0\xEC\xE5\xED\xE8\xF2\xFC \xF3\xE6\xE5 \xE8\xEC\xE5\xFE\xF9\xE8\xE9\xF1\xFF\r\n"
      "\xF4\xE0\xE9\xEB \xE2\xE5\xF0\xF1\xE8\xE8 121 \xED\xE0 \xE1\xEE\xEB\xE5\xE5 \xF1\xF2\xE0\xF0"
      "\xFB\xE9 \xE2\xE5\xF0\xF1\xE8\xE8 120?";
  const struct {
    const char* name;
    bool languageFile;
    bool russian;
    std::string text;
    std::string caption;
    std::optional<uint16_t> language;
    uint32_t codePage;
  } cases[] = {
      {"language file", true, true,
       "The file " + kTarget + " is older\r\nthan the one installed. Replace it?",
       "A fair question", uint16_t{0x0409}, 1252},
      {"built-in Russian", false, true, russianText,
       "\xD0\xE5\xE7\xEE\xED\xED\xFB\xE9 \xE2\xEE\xEF\xF0\xEE\xF1", uint16_t{0x19}, kCodePageRussian},
      {"built-in English", false, false, englishText, "Sound question", std::nullopt,
       kCodePageAnsi},
  };
  for (const auto& c : cases) {
    SimWindows local;
    SetupContext run(local.Get());
    run.UseRussian = c.russian;
    if (c.languageFile) {
      run.ProductFolder = "C:\\Orfa\\";
      local.files.AddFile("C:\\Orfa\\language\\english.lng",
                          "[olderfilever]\r\nThe file %1 is older\r\nthan the one installed. "
                          "Replace it?\r\n\r\n[soundquest]\r\nA fair question\r\n");
      run.Catalog.LanguageFiles = {"english.lng"};
      run.Catalog.CurrentLanguageIndex = 0;
      run.Catalog.CurrentFile = "C:\\Orfa\\language\\english.lng";
      run.MessageLangId = 0x00010409;  // only the low 16 bits name the language
      run.MessageCodePage = 1252;
    }
    local.resources.AddResource("ORFM", "COK", Cok(120));
    local.files.AddFile(kTarget, Cok(121));
    local.ui.Answer(kIdNo);
    EXPECT_FALSE(InstallResourceFile(run, "orfm", "cok", kTarget, true));
    ASSERT_EQ(local.ui.Calls().size(), 1u) << c.name;
    const MessageBoxRequest& box = local.ui.Calls()[0].request;
    EXPECT_EQ(box.text, c.text) << c.name;
    EXPECT_EQ(box.caption, c.caption) << c.name;
    EXPECT_EQ(box.style, kQuestionStyle) << c.name;
    EXPECT_EQ(box.language, c.language) << c.name;
    EXPECT_EQ(box.codePage, c.codePage) << c.name;
    // Wherever the path stands, it keeps the system's code page.
    const bool pathAlone = std::any_of(box.textPieces.begin(), box.textPieces.end(),
                                       [](const TextPiece& piece) {
                                         return piece.text == kTarget &&
                                                piece.codePage == kCodePageAnsi;
                                       });
    EXPECT_EQ(pathAlone, c.languageFile || c.russian) << c.name;
  }
}

// ---------------------------------------------------------------- progress window

class InstallProgressTest : public InstallTest {
 protected:
  InstallProgressTest() {
    ShowProgress(ctx, "Orfa", "Copying files");
    sim.progress.RunNextThread();
    sim.progress.ClearCalls();
  }
  const sim::SimProgressPort::Window* Main() const { return sim.progress.Find(0x100); }
  const sim::SimProgressPort::Window* Text() const { return sim.progress.Find(0x101); }
};

TEST_F(InstallProgressTest, HiddenDuringTheQuestionAndShownEmptyAfterIt) {
  for (int answer : {kIdYes, kIdNo}) {
    ASSERT_NE(Main(), nullptr);
    ShowProgress(ctx, "Orfa", "Copying files");
    ASSERT_TRUE(Main()->visible);
    sim.resources.AddResource("ORFM", "COK", Cok(120));
    sim.files.AddFile(kTarget, Cok(121));
    sim.ui.Answer(answer);
    bool visibleDuringQuestion = true;
    sim.ui.OnMessageBox([&](const MessageBoxCall&) { visibleDuringQuestion = Main()->visible; });
    Install("cok", kTarget, true);
    EXPECT_FALSE(visibleDuringQuestion) << answer;
    EXPECT_TRUE(Main()->visible) << answer;
    EXPECT_EQ(Main()->text, "") << answer;
    EXPECT_EQ(Text()->text, "") << answer;
    EXPECT_EQ(sim.progress.ThreadsStarted(), 1u);
  }
}

TEST_F(InstallProgressTest, NotShownAgainAfterAnError) {
  sim.resources.AddResource("ORFM", "COK", Cok(120));
  sim.files.AddFile(kTarget, Cok(121), kAttrReadOnly);
  sim.ui.Answer(kIdYes);
  EXPECT_FALSE(Install("cok", kTarget, true));
  ASSERT_EQ(sim.ui.Calls().size(), 2u);  // the question, then the error
  EXPECT_FALSE(Main()->visible);
  EXPECT_EQ(Main()->text, "Orfa");
}

TEST_F(InstallProgressTest, UntouchedWithoutAQuestion) {
  sim.resources.AddResource("ORFM", "COK", Cok(120));
  sim.files.AddFile(kTarget, Cok(119));
  EXPECT_TRUE(Install("cok", kTarget, true));
  EXPECT_TRUE(sim.progress.Calls().empty());
  EXPECT_TRUE(Main()->visible);
  EXPECT_EQ(Text()->text, "Copying files");
}

}  // namespace
}  // namespace orfa
