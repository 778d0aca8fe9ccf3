// Pins the Windows behaviour of the simulation that the logic's tests rely on.
#include <gtest/gtest.h>

#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

// ---------------------------------------------------------------- share modes

struct ShareCase {
  uint32_t heldAccess, heldShare, access, share;
  bool opens;
};

TEST(SimFiles, ShareModesConflictBothWays) {
  const uint32_t R = kGenericRead, W = kGenericWrite, RW = R | W;
  const ShareCase cases[] = {
      {R, kShareRead, R, kShareRead, true},
      {R, kShareRead, R, kShareNone, false},                // new share refuses the held read
      {R, kShareNone, R, kShareRead, false},                // held share refuses the new read
      {R, kShareRead | kShareWrite, W, kShareRead, true},   // held shares write; new shares read
      {R, kShareRead, W, kShareRead | kShareWrite, false},  // held does not share write
      {W, kShareRead | kShareWrite, R, kShareRead, false},  // new does not share the held write
      {RW, kShareRead | kShareWrite, RW, kShareRead | kShareWrite, true},
      {RW, kShareRead | kShareWrite | kShareDelete, R, kShareNone, false},
      {0, kShareNone, R, kShareNone, true},  // a handle without data access takes no part
      {R, kShareNone, 0, kShareNone, true},  // nor does an open without data access
  };
  for (const auto& c : cases) {
    SimWindows sim;
    sim.files.AddFile("C:\\d\\f.bin", "x");
    HeldFile held = sim.files.HoldOpen("C:\\d\\f.bin", c.heldAccess, c.heldShare);
    uint32_t error = 0;
    auto file = sim.files.Open("c:\\D\\F.BIN", c.access, c.share, Disposition::OpenExisting, &error);
    EXPECT_EQ(file != nullptr, c.opens) << c.heldAccess << "/" << c.heldShare << " vs " << c.access << "/" << c.share;
    if (!c.opens) {
      EXPECT_EQ(error, kErrorSharingViolation);
    }
  }
}

TEST(SimFiles, HeldFileReleasedOnTheSimulatedClock) {
  SimWindows sim;
  sim.files.AddFile("C:\\f", "x");
  sim.files.HoldOpen("C:\\f", kGenericRead, kShareNone).ReleaseAfter(500);  // the clock owns it now
  uint32_t error = 0;
  EXPECT_EQ(sim.files.Open("C:\\f", kGenericRead, 0, Disposition::OpenExisting, &error), nullptr);
  sim.clock.Sleep(499);
  EXPECT_EQ(sim.files.Open("C:\\f", kGenericRead, 0, Disposition::OpenExisting, &error), nullptr);
  sim.clock.Sleep(1);
  EXPECT_NE(sim.files.Open("C:\\f", kGenericRead, 0, Disposition::OpenExisting, &error), nullptr);
  EXPECT_EQ(sim.clock.Sleeps(), (std::vector<uint32_t>{499, 1}));
}

TEST(SimFiles, ReadOnlyDeleteDispositionsAndDiskFull) {
  SimWindows sim;
  sim.files.AddFile("C:\\ro.txt", "old", kAttrReadOnly);
  uint32_t error = 0;
  EXPECT_EQ(sim.files.Open("C:\\ro.txt", kGenericWrite, 0, Disposition::OpenExisting, &error), nullptr);
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_EQ(sim.files.Delete("C:\\ro.txt"), kErrorAccessDenied);
  EXPECT_EQ(sim.files.Open("C:\\ro.txt", kGenericRead, 0, Disposition::CreateNew, &error), nullptr);
  EXPECT_EQ(error, kErrorFileExists);
  EXPECT_EQ(sim.files.Open("C:\\none\\x", kGenericRead, 0, Disposition::OpenExisting, &error), nullptr);
  EXPECT_EQ(error, kErrorPathNotFound);
  EXPECT_EQ(sim.files.Open("C:\\x", kGenericRead, 0, Disposition::OpenExisting, &error), nullptr);
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_EQ(sim.files.Open("\"C:\\x\"", kGenericRead, 0, Disposition::OpenExisting, &error), nullptr);
  EXPECT_EQ(error, 123u);  // ERROR_INVALID_NAME: a quote is no part of a name

  sim.files.SetDiskFree(5);
  auto file = sim.files.Open("C:\\new.bin", kGenericRead | kGenericWrite, 0, Disposition::CreateAlways, &error);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Write("1234567", 7), kErrorDiskFull);
  file.reset();
  EXPECT_EQ(sim.files.Attributes("C:\\new.bin"), kAttrArchive);
  EXPECT_EQ(sim.files.ReadFileBytes("C:\\new.bin")->size(), 5u);  // what fitted landed
}

TEST(SimFiles, MoveAndMoveReplace) {
  SimWindows sim;
  sim.files.AddFile("C:\\d\\a", "A");
  sim.files.AddFile("C:\\d\\b", "B");
  EXPECT_EQ(sim.files.Move("C:\\d\\a", "C:\\d\\b"), kErrorAlreadyExists);
  {
    HeldFile held = sim.files.HoldOpen("C:\\d\\b", kGenericRead, kShareRead | kShareWrite | kShareDelete);
    EXPECT_EQ(sim.files.MoveReplace("C:\\d\\a", "C:\\d\\b"), kErrorAccessDenied);  // the target is open
  }
  {
    HeldFile held = sim.files.HoldOpen("C:\\d\\a", kGenericRead, kShareRead);
    EXPECT_EQ(sim.files.MoveReplace("C:\\d\\a", "C:\\d\\b"), kErrorSharingViolation);  // the source is open
  }
  sim.files.SetAttributes("C:\\d\\b", kAttrReadOnly);
  EXPECT_EQ(sim.files.MoveReplace("C:\\d\\a", "C:\\d\\b"), kErrorAccessDenied);
  sim.files.SetAttributes("C:\\d\\b", kAttrNormal);
  EXPECT_EQ(sim.files.MoveReplace("C:\\d\\a", "C:\\d\\b"), kErrorSuccess);
  EXPECT_EQ(sim.files.ReadFileBytes("C:\\d\\b"), "A");
  EXPECT_FALSE(sim.files.Exists("C:\\d\\a"));
  EXPECT_EQ(sim.files.Move("C:\\d\\b", "C:\\d\\c"), kErrorSuccess);
  EXPECT_EQ(sim.files.ReadFileBytes("C:\\d\\c"), "A");
}

TEST(SimProcesses, QuitMessageLetsTheProductReleaseItsFileLater) {
  SimWindows sim;
  sim.files.AddFile("C:\\Orfa\\orfm.cok", "orfm-");
  sim.processes.HoldMapping("orfa_memfile");
  HeldFile held = sim.files.HoldOpen("C:\\Orfa\\orfm.cok", kGenericRead, kShareNone);
  WindowId product = sim.processes.AddWindow("TOrfaMainForm");
  sim.processes.OnMessage(product, [&](const PostedMessage& m) {
    if (m.message == sim::kWmQuit) {
      held.ReleaseAfter(1000);
      sim.processes.ReleaseMapping("orfa_memfile");
    }
  });
  uint32_t error = 0;
  auto probe = sim.processes.CreateNamedMapping("orfa_memfile", 64, &error);
  EXPECT_NE(probe, nullptr);
  EXPECT_EQ(error, kErrorAlreadyExists);
  probe.reset();
  auto window = sim.processes.FindTopLevelWindow("torfamainform");
  ASSERT_TRUE(window);
  EXPECT_TRUE(sim.processes.PostMessage(*window, sim::kWmQuit, 0, 0));
  EXPECT_FALSE(sim.processes.MappingExists("orfa_memfile"));
  EXPECT_EQ(sim.files.Open("C:\\Orfa\\orfm.cok", kGenericRead, 0, Disposition::OpenExisting, &error), nullptr);
  sim.clock.Sleep(1000);
  EXPECT_NE(sim.files.Open("C:\\Orfa\\orfm.cok", kGenericRead, 0, Disposition::OpenExisting, &error), nullptr);
}

TEST(SimProcesses, ConsoleCommandPrintsItsOutput) {
  SimWindows sim;
  const std::string cmd = "C:\\WINDOWS\\system32\\cmd.exe";
  EXPECT_FALSE(sim.processes.RunCaptured(cmd, "\"" + cmd + "\" /d /c ver", 0x210, 1000).started);
  sim.processes.OnConsoleCommand([](const std::string& command) {
    return command == "ver" ? "\r\nMicrosoft Windows [Version 6.1.7601]\r\n" : "";
  });
  ProcessResult result = sim.processes.RunCaptured(cmd, "\"" + cmd + "\" /d /c ver", 0x210, 1000);
  EXPECT_TRUE(result.started && result.finished);
  EXPECT_EQ(result.output, "\r\nMicrosoft Windows [Version 6.1.7601]\r\n");
  EXPECT_EQ(sim.processes.RunCapturedCalls().size(), 2u);
  EXPECT_EQ(sim.processes.RunCapturedCalls()[1].application, cmd);
  EXPECT_EQ(sim.processes.RunCapturedCalls()[1].creationFlags, 0x210u);
  EXPECT_EQ(sim.processes.RunCaptured(cmd, cmd + " /c ver", 0x210, 1000).output, "");  // not its form
}

// ---------------------------------------------------------------- listings

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  return names;
}

TEST(SimFiles, ListingsFollowWindowsWildcardsWithDotEntries) {
  SimWindows sim;
  sim.files.AddFile("C:\\p\\language\\russian.lng");
  sim.files.AddFile("C:\\p\\language\\English.LNG");
  sim.files.AddFile("C:\\p\\language\\readme");
  sim.files.AddFolder("C:\\p\\language\\old.lng");
  uint32_t error = 0;
  EXPECT_EQ(Names(sim.files.List("C:\\p\\language\\*.lng", &error)),
            (std::vector<std::string>{"russian.lng", "English.LNG", "old.lng"}));
  EXPECT_EQ(Names(sim.files.List("C:\\p\\language\\*.*", &error)),
            (std::vector<std::string>{".", "..", "russian.lng", "English.LNG", "readme", "old.lng"}));
  EXPECT_EQ(Names(sim.files.List("C:\\p\\language\\?eadme", &error)), (std::vector<std::string>{"readme"}));
  EXPECT_EQ(Names(sim.files.List("C:\\*.*", &error)), (std::vector<std::string>{"p"}));  // a root has no dots
  sim.files.AddFile("C:\\p\\language\\x.lngx");
  EXPECT_EQ(sim.files.List("C:\\p\\language\\*.lng", &error).size(), 3u);
  sim.files.SetShortNames(true);  // X~1.LNG
  EXPECT_EQ(sim.files.List("C:\\p\\language\\*.lng", &error).size(), 4u);
  sim.files.List("C:\\p\\language\\*.txt", &error);
  EXPECT_EQ(error, kErrorFileNotFound);
  sim.files.List("C:\\p\\nothing\\*.*", &error);
  EXPECT_EQ(error, kErrorPathNotFound);
  sim.files.ListFails("C:\\p\\language");
  sim.files.List("C:\\p\\language\\*.*", &error);
  EXPECT_EQ(error, kErrorAccessDenied);
}

TEST(SimFiles, LinkToAncestorMakesEndlessTreeUpToMaxPath) {
  SimWindows sim;
  sim.files.AddFile("C:\\t\\f", "1234");
  sim.files.AddFolderLink("C:\\t\\loop", "C:\\t");
  EXPECT_EQ(sim.files.Attributes("C:\\t\\loop"), kAttrDirectory | kAttrReparsePoint);
  uint32_t error = 0;
  EXPECT_EQ(Names(sim.files.List("C:\\t\\loop\\loop\\*.*", &error)), (std::vector<std::string>{".", "..", "f", "loop"}));
  std::string deep = "C:\\t";
  while (deep.size() < 260) deep += "\\loop";
  sim.files.List(deep + "\\*.*", &error);
  EXPECT_EQ(error, 206u);  // ERROR_FILENAME_EXCED_RANGE
}

TEST(SimFiles, VersionResourcesOfPrograms) {
  SimWindows sim;
  sim.files.AddFile("C:\\Orfa\\orfa.exe", "MZ");
  sim.files.SetProgram("c:\\orfa\\ORFA.EXE");
  sim.files.SetVersionInfo("C:\\Orfa\\orfa.exe", {{0x0419, 1251}, {0x0409, 1200}},
                           {{"StringFileInfo\\041904E3\\FileVersion", "5.2.0.14"}});
  EXPECT_TRUE(sim.files.IsProgram("C:\\Orfa\\orfa.exe"));
  auto block = sim.files.VersionBlock("C:\\Orfa\\orfa.exe");
  ASSERT_TRUE(block);
  EXPECT_EQ(sim.files.VersionValue(*block, "\\VarFileInfo\\Translation"),
            std::string("\x19\x04\xE3\x04\x09\x04\xB0\x04", 8));
  EXPECT_EQ(sim.files.VersionValue(*block, "\\StringFileInfo\\041904e3\\FileVersion"),
            std::string("5.2.0.14", 9));  // with its NUL
  EXPECT_FALSE(sim.files.VersionValue(*block, "\\StringFileInfo\\040904b0\\FileVersion"));
  sim.files.Delete("C:\\Orfa\\orfa.exe");
  EXPECT_FALSE(sim.files.IsProgram("C:\\Orfa\\orfa.exe"));
  EXPECT_FALSE(sim.files.VersionBlock("C:\\Orfa\\orfa.exe"));
}

// ---------------------------------------------------------------- registry

TEST(SimRegistry, Wow64RedirectionOfHklmSoftware) {
  SimWindows sim;
  sim.Set64BitSystem(true);
  uint32_t error = 0;
  auto key = sim.registry.Open(RootKey::LocalMachine, "Software\\Tovel", kKeyAllAccess, true, &error);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->SetDword("A", 1), kErrorSuccess);
  key = sim.registry.Open(RootKey::LocalMachine, "SOFTWARE\\Tovel", kKeyAllAccess | kKeyWow64_64Key, true, &error);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->SetDword("B", 2), kErrorSuccess);
  EXPECT_EQ(sim.registry.GetDword(RootKey::LocalMachine, "Software\\WOW6432Node\\Tovel", "a"), 1u);
  EXPECT_EQ(sim.registry.GetDword(RootKey::LocalMachine, "Software\\Tovel", "b"), 2u);
  EXPECT_FALSE(sim.registry.GetValue(RootKey::LocalMachine, "Software\\Tovel", "A"));
  EXPECT_EQ(sim.registry.GetDword(RootKey::LocalMachine, "Software\\Tovel", "A", RegView::Wow32), 1u);
  // HKCU is shared by both views.
  sim.registry.SetString(RootKey::CurrentUser, "Software\\Tovel\\Orfa", "LangFile", "english.lng");
  key = sim.registry.Open(RootKey::CurrentUser, "software\\tovel\\orfa", kKeyRead, false, &error);
  ASSERT_NE(key, nullptr);
  auto value = key->Query("langfile", &error);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, kRegSz);
  EXPECT_EQ(value->data, std::string("english.lng", 12));
  EXPECT_EQ(key->SetDword("X", 1), kErrorAccessDenied);  // KEY_READ has no KEY_SET_VALUE
  EXPECT_EQ(sim.registry.OpenCalls().at(1).access, 0xF013Fu);
  // A 32-bit system knows no redirection.
  sim.Set64BitSystem(false);
  key = sim.registry.Open(RootKey::LocalMachine, "Software\\Tovel", kKeyRead, false, &error);
  ASSERT_NE(key, nullptr);
  EXPECT_FALSE(key->Query("A", &error));
  EXPECT_EQ(error, kErrorFileNotFound);
}

TEST(SimRegistry, DeniedKeysAndFailingWrites) {
  SimWindows sim;
  sim.registry.DenyAccess(RootKey::CurrentUser, "Software\\Locked");
  uint32_t error = 0;
  EXPECT_EQ(sim.registry.Open(RootKey::CurrentUser, "Software\\Locked", kKeyRead, false, &error), nullptr);
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_EQ(sim.registry.Open(RootKey::CurrentUser, "Software\\Missing", kKeyRead, false, &error), nullptr);
  EXPECT_EQ(error, kErrorFileNotFound);
  sim.registry.FailWrites(kErrorAccessDenied);
  auto key = sim.registry.Open(RootKey::CurrentUser, "Software\\New\\Deep", kKeyAllAccess, true, &error);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->SetDword("V", 1), kErrorAccessDenied);
  EXPECT_EQ(sim.registry.OpenKeyCount(), 1u);
  key.reset();
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
}

// ---------------------------------------------------------------- clock, ui, system

TEST(SimClock, ScheduledActionsRunInTimeOrderAsTheClockPasses) {
  SimWindows sim;
  sim.clock.SetNow(0);
  std::vector<std::string> log;
  sim.clock.At(300, [&] { log.push_back("b@" + std::to_string(sim.clock.NowMs())); });
  sim.clock.At(100, [&] { log.push_back("a@" + std::to_string(sim.clock.NowMs())); });
  sim.clock.Sleep(99);
  EXPECT_TRUE(log.empty());
  sim.clock.Sleep(256);
  EXPECT_EQ(log, (std::vector<std::string>{"a@100", "b@300"}));
  EXPECT_EQ(sim.clock.NowMs(), 355u);
}

TEST(SimUi, ScriptedAnswersAndUnscriptedQuestions) {
  SimWindows sim;
  sim.ui.Answer(kIdYes);
  MessageBoxRequest error{"failed", "Orfa", kErrorStyle, std::nullopt, kCodePageAnsi, std::nullopt, {}, {}};
  MessageBoxRequest question{"install?", "Orfa", kQuestionStyle, uint16_t{0x19}, kCodePageRussian, std::nullopt, {}, {}};
  EXPECT_EQ(sim.ui.MessageBox(error), kIdOk);
  EXPECT_EQ(sim.ui.MessageBox(question), kIdYes);
  EXPECT_EQ(sim.ui.MessageBox(question), kIdNo);
  ASSERT_EQ(sim.ui.Calls().size(), 3u);
  EXPECT_EQ(sim.ui.UnscriptedCount(), 1u);
  EXPECT_TRUE(sim.ui.Calls()[2].unscripted);
  EXPECT_EQ(sim.ui.Calls()[1].request.language, 0x19);
}

TEST(SimSystem, CodePagesAndOemConversion) {
  SimWindows sim;
  EXPECT_EQ(sim.system.AnsiCodePageOf(0x0419), 1251u);
  EXPECT_EQ(sim.system.AnsiCodePageOf(0x0C1A), 1251u);  // Serbian, Cyrillic
  EXPECT_EQ(sim.system.AnsiCodePageOf(0x0440), 1251u);  // Kyrgyz
  EXPECT_EQ(sim.system.AnsiCodePageOf(0x0409), 1252u);
  EXPECT_EQ(sim.system.AnsiCodePageOf(0x0407), 1252u);
  EXPECT_EQ(sim.system.OemToAnsi("\x82\xA5\xE0\xE1\xA8\xEF ver 6.1"), "\xC2\xE5\xF0\xF1\xE8\xFF ver 6.1");
  sim.system.SetOemConversion(OemConversion::Identity);
  EXPECT_EQ(sim.system.OemToAnsi("\x82"), "\x82");
  EXPECT_FALSE(sim.system.Environment("NoSuch"));
  sim.system.SetEnv("Temp", "");
  EXPECT_EQ(sim.system.Environment("TEMP"), "");
}

}  // namespace
}  // namespace orfa
