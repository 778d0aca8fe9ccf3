#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/SetupContext.h"
#include "sysinfo/SystemName.h"
#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

std::string RedirectTarget(const std::string& commandLine) {
  const size_t start = commandLine.rfind("> \"") + 3;
  return commandLine.substr(start, commandLine.size() - 1 - start);
}

ProcessResult Finished() {
  ProcessResult result;
  result.started = true;
  result.finished = true;
  return result;
}

class CaptureConsoleTest : public ::testing::Test {
 protected:
  CaptureConsoleTest() { sim.files.AddFolder("C:\\Temp"); }

  // The console command writes `output` to where its output is redirected.
  void Prints(const std::string& output) {
    sim.processes.OnRunHidden([this, output](const std::string& commandLine, SimWindows& s) {
      target = s.files.FullPath(RedirectTarget(commandLine));
      s.files.AddFile(target, output);
      return Finished();
    });
  }

  // The names the next captures will draw, without drawing them.
  std::vector<std::string> NextNames(int count) {
    const uint32_t saved = ctx.RandomState;
    std::vector<std::string> names;
    for (int n = 0; n < count; ++n) {
      std::string name;
      for (int i = 0; i < 8; ++i) name += static_cast<char>('a' + ctx.Random(26));
      names.push_back(name);
    }
    ctx.RandomState = saved;
    return names;
  }

  size_t FilesIn(const std::string& folder) {
    uint32_t error = 0;
    size_t count = 0;
    for (const DirEntry& entry : sim.files.List(folder + "\\*", &error)) {
      if (entry.name != "." && entry.name != "..") ++count;
    }
    return count;
  }

  SimWindows sim;
  SetupContext ctx{sim.Get()};
  std::string target;  // the temporary file of the last run
};

TEST_F(CaptureConsoleTest, RunsTheInterpreterHiddenAndReturnsWhatItPrinted) {
  Prints("\r\nMicrosoft Windows [Version 10.0.19045.2965]\r\n");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\nMicrosoft Windows [Version 10.0.19045.2965]\r\n");

  ASSERT_EQ(sim.processes.RunHiddenCalls().size(), 1u);
  const sim::RunHiddenCall& call = sim.processes.RunHiddenCalls()[0];
  EXPECT_TRUE(std::regex_match(call.commandLine,
                               std::regex(R"(C:\\WINDOWS\\system32\\cmd\.exe /c ver > "C:\\Temp\\[a-z]{8}")")))
      << call.commandLine;
  EXPECT_EQ(call.creationFlags, 0x210u);
  EXPECT_GT(call.timeoutMs, 0u);
  EXPECT_LE(call.timeoutMs, 120000u);  // bounded
  EXPECT_FALSE(sim.files.Exists(target));
  EXPECT_EQ(FilesIn("C:\\Temp"), 0u);
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

TEST_F(CaptureConsoleTest, EveryLineEndsWithCrLf) {
  struct Row {
    std::string printed;
    std::string expected;
  };
  const Row rows[] = {
      {"", "\r\n"},
      {"abc", "abc\r\n"},
      {"abc\r\n", "abc\r\n"},
      {"a\nb", "a\r\nb\r\n"},
      {"a\r\n\r\nb\r\n", "a\r\n\r\nb\r\n"},
      {"\r\n", "\r\n"},
      {"\n\n", "\r\n\r\n"},
      {"a\rb\r\n", "ab\r\n"},  // a CR without LF is dropped
      {std::string(100000, 'x') + "\r\ny", std::string(100000, 'x') + "\r\ny\r\n"},
  };
  for (const Row& row : rows) {
    Prints(row.printed);
    EXPECT_EQ(CaptureConsoleOutput(ctx, "cmd"), row.expected) << row.printed.substr(0, 20);
  }
  EXPECT_EQ(FilesIn("C:\\Temp"), 0u);
}

TEST_F(CaptureConsoleTest, CommandGoesInUnchangedAndAnInterpreterPathOfAnyLengthIsUsedWhole) {
  const std::string longInterpreter = "C:\\" + std::string(300, 'p') + "\\cmd.exe";
  sim.system.SetEnv("ComSpec", longInterpreter);
  Prints("x");
  CaptureConsoleOutput(ctx, "dir \"C:\\Program Files\" /b");
  ASSERT_EQ(sim.processes.RunHiddenCalls().size(), 1u);
  const std::string& line = sim.processes.RunHiddenCalls()[0].commandLine;
  EXPECT_EQ(line.rfind(longInterpreter + " /c dir \"C:\\Program Files\" /b > \"C:\\Temp\\", 0), 0u) << line;
}

TEST_F(CaptureConsoleTest, WithoutComSpecNothingRunsAndNoFileIsMade) {
  sim.system.UnsetEnv("ComSpec");
  Prints("x");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "");
  sim.system.SetEnv("ComSpec", "");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "");
  EXPECT_TRUE(sim.processes.RunHiddenCalls().empty());
  EXPECT_EQ(FilesIn("C:\\Temp"), 0u);
}

TEST_F(CaptureConsoleTest, WithoutTempTheFileIsABareNameInTheCurrentFolder) {
  sim.system.UnsetEnv("Temp");
  sim.files.AddFolder("C:\\Work");
  sim.files.SetCurrentDirectory("C:\\Work");
  Prints("\r\nMicrosoft Windows [Version 6.1.7601]\r\n");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\nMicrosoft Windows [Version 6.1.7601]\r\n");
  const std::string& line = sim.processes.RunHiddenCalls().at(0).commandLine;
  EXPECT_TRUE(std::regex_match(line, std::regex(R"(.* /c ver > "[a-z]{8}")"))) << line;
  EXPECT_EQ(target.rfind("C:\\Work\\", 0), 0u) << target;
  EXPECT_EQ(FilesIn("C:\\Work"), 0u);
}

TEST_F(CaptureConsoleTest, TempWithATrailingBackslashGetsNoSecondOne) {
  sim.system.SetEnv("Temp", "C:\\Temp\\");
  Prints("x");
  CaptureConsoleOutput(ctx, "ver");
  const std::string& line = sim.processes.RunHiddenCalls().at(0).commandLine;
  EXPECT_TRUE(std::regex_match(line, std::regex(R"(.* > "C:\\Temp\\[a-z]{8}")"))) << line;
}

TEST_F(CaptureConsoleTest, OemOutputComesBackInTheAnsiCodePage) {
  // "Версия 6.1" as a Russian console prints it (CP866) ...
  Prints("\r\nMicrosoft Windows [\x82\xA5\xE0\xE1\xA8\xEF 6.1.7601]\r\n");
  // ... and in Windows-1251.
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\nMicrosoft Windows [\xC2\xE5\xF0\xF1\xE8\xFF 6.1.7601]\r\n");
}

TEST_F(CaptureConsoleTest, TheTemporaryFileIsGoneWhateverHappened) {
  // The command fails after writing part of its output.
  sim.processes.OnRunHidden([this](const std::string& commandLine, SimWindows& s) {
    target = s.files.FullPath(RedirectTarget(commandLine));
    s.files.AddFile(target, "partial");
    ProcessResult result = Finished();
    return result;
  });
  EXPECT_EQ(CaptureConsoleOutput(ctx, "bad"), "partial\r\n");
  EXPECT_FALSE(sim.files.Exists(target));

  // The file cannot be read back.
  sim.processes.OnRunHidden([this](const std::string& commandLine, SimWindows& s) {
    target = s.files.FullPath(RedirectTarget(commandLine));
    s.files.AddFile(target, "unreadable");
    s.files.ReadFails(target, kErrorAccessDenied);
    return Finished();
  });
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\n");
  EXPECT_FALSE(sim.files.Exists(target));

  EXPECT_EQ(FilesIn("C:\\Temp"), 0u);
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

TEST_F(CaptureConsoleTest, AProcessThatCannotStartGivesOneLineBreak) {
  // No process emulation: CreateProcess fails.
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\n");
  EXPECT_EQ(sim.processes.RunHiddenCalls().size(), 1u);
  EXPECT_EQ(FilesIn("C:\\Temp"), 0u);
}

TEST_F(CaptureConsoleTest, AnExistingFileOfTheDrawnNameIsNeitherOverwrittenNorDeleted) {
  const std::vector<std::string> names = NextNames(2);
  const std::string precious = "C:\\Temp\\" + names[0];
  sim.files.AddFile(precious, "precious");
  Prints("output");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "output\r\n");
  EXPECT_EQ(sim.files.ReadFileBytes(precious).value_or(""), "precious");
  EXPECT_EQ(target, "C:\\Temp\\" + names[1]);
  EXPECT_EQ(FilesIn("C:\\Temp"), 1u);
}

TEST_F(CaptureConsoleTest, WhenEveryNameIsTakenNothingRuns) {
  for (const std::string& name : NextNames(64)) sim.files.AddFile("C:\\Temp\\" + name, "precious");
  const size_t before = FilesIn("C:\\Temp");
  Prints("output");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\n");
  EXPECT_TRUE(sim.processes.RunHiddenCalls().empty());
  EXPECT_EQ(FilesIn("C:\\Temp"), before);
}

TEST_F(CaptureConsoleTest, ATempFolderThatCannotTakeTheFileRunsNothing) {
  sim.system.SetEnv("Temp", "C:\\Missing");
  Prints("output");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\n");
  EXPECT_TRUE(sim.processes.RunHiddenCalls().empty());
}

TEST_F(CaptureConsoleTest, AHungProcessIsEndedAndCountsAsNoOutput) {
  sim.processes.OnRunHidden([this](const std::string& commandLine, SimWindows& s) {
    target = s.files.FullPath(RedirectTarget(commandLine));
    s.files.AddFile(target, "Microsoft Windows [Version 10.0.1]\r\n");
    ProcessResult result;
    result.started = true;
    result.finished = false;  // the wait ran out and the process was ended
    result.error = kErrorTimeout;
    return result;
  });
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "");
  EXPECT_FALSE(sim.files.Exists(target));
  EXPECT_EQ(FilesIn("C:\\Temp"), 0u);
}

}  // namespace
}  // namespace orfa
