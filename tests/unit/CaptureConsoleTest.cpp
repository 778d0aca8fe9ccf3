#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/SetupContext.h"
#include "sysinfo/SystemName.h"
#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

const char* const kCmd = "C:\\WINDOWS\\system32\\cmd.exe";

ProcessResult Printed(const std::string& output, bool finished = true) {
  ProcessResult result;
  result.started = true;
  result.finished = finished;
  if (!finished) result.error = kErrorTimeout;  // the wait ran out and the process was ended
  result.output = output;
  return result;
}

class CaptureConsoleTest : public ::testing::Test {
 protected:
  CaptureConsoleTest() { sim.files.AddFolder("C:\\Temp"); }

  // The console command prints `output`.
  void Prints(const std::string& output) {
    sim.processes.OnRunCaptured([output](const std::string&, SimWindows&) { return Printed(output); });
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
};

TEST_F(CaptureConsoleTest, RunsTheSystemsInterpreterHiddenAndReturnsWhatItPrinted) {
  Prints("\r\nMicrosoft Windows [Version 10.0.19045.2965]\r\n");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\nMicrosoft Windows [Version 10.0.19045.2965]\r\n");

  ASSERT_EQ(sim.processes.RunCapturedCalls().size(), 1u);
  const sim::RunCapturedCall& call = sim.processes.RunCapturedCalls()[0];
  EXPECT_EQ(call.application, kCmd);
  EXPECT_EQ(call.commandLine, "\"C:\\WINDOWS\\system32\\cmd.exe\" /d /c ver");
  EXPECT_EQ(call.creationFlags, 0x210u);
  EXPECT_GT(call.timeoutMs, 0u);
  EXPECT_LE(call.timeoutMs, 120000u);  // bounded
  EXPECT_EQ(FilesIn("C:\\Temp"), 0u);  // no file is made on the way
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);

  ctx.NoWindows = true;  // the unattended mode: a console of its own, without a window
  CaptureConsoleOutput(ctx, "ver");
  EXPECT_EQ(sim.processes.RunCapturedCalls().at(1).creationFlags, 0x08000200u);
}

TEST_F(CaptureConsoleTest, TheEnvironmentsComSpecIsNeverRun) {
  Prints("x");
  const std::vector<std::optional<std::string>> comSpecs = {
      std::string("C:\\Users\\me\\Downloads\\evil.exe"), std::string(""), std::nullopt};
  for (const auto& comSpec : comSpecs) {
    if (comSpec) {
      sim.system.SetEnv("ComSpec", *comSpec);
    } else {
      sim.system.UnsetEnv("ComSpec");
    }
    sim.system.UnsetEnv("Temp");
    EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "x\r\n") << comSpec.value_or("unset");
  }
  for (const sim::RunCapturedCall& call : sim.processes.RunCapturedCalls()) {
    EXPECT_EQ(call.application, kCmd);
    EXPECT_EQ(call.commandLine.rfind("\"C:\\WINDOWS\\system32\\cmd.exe\" /d /c ", 0), 0u);
  }
  EXPECT_EQ(sim.processes.RunCapturedCalls().size(), comSpecs.size());
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
}

TEST_F(CaptureConsoleTest, CommandGoesInUnchangedAndTheSystemFolderIsUsedWhole) {
  struct Row {
    std::string systemFolder;
    std::string interpreter;
  };
  const std::string longFolder = "C:\\" + std::string(300, 'p');
  const Row rows[] = {{longFolder, longFolder + "\\cmd.exe"},
                      {"D:\\Win dows\\system32\\", "D:\\Win dows\\system32\\cmd.exe"}};
  Prints("x");
  for (const Row& row : rows) {
    sim.files.SetSystemDirectory(row.systemFolder);
    CaptureConsoleOutput(ctx, "dir \"C:\\Program Files\" /b");
    const sim::RunCapturedCall& call = sim.processes.RunCapturedCalls().back();
    EXPECT_EQ(call.application, row.interpreter);
    EXPECT_EQ(call.commandLine, "\"" + row.interpreter + "\" /d /c dir \"C:\\Program Files\" /b");
  }
}

TEST_F(CaptureConsoleTest, WithoutASystemFolderNothingRuns) {
  sim.files.SetSystemDirectory("");
  Prints("x");
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "");
  EXPECT_TRUE(sim.processes.RunCapturedCalls().empty());
}

TEST_F(CaptureConsoleTest, OemOutputComesBackInTheAnsiCodePage) {
  // "Версия 6.1" as a Russian console prints it (CP866) ...
  Prints("\r\nMicrosoft Windows [\x82\xA5\xE0\xE1\xA8\xEF 6.1.7601]\r\n");
  // ... and in Windows-1251.
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\nMicrosoft Windows [\xC2\xE5\xF0\xF1\xE8\xFF 6.1.7601]\r\n");
}

TEST_F(CaptureConsoleTest, AProcessThatCannotStartGivesOneLineBreak) {
  // No process emulation: CreateProcess fails.
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "\r\n");
  EXPECT_EQ(sim.processes.RunCapturedCalls().size(), 1u);
}

TEST_F(CaptureConsoleTest, AHungProcessIsEndedAndCountsAsNoOutput) {
  sim.processes.OnRunCaptured([](const std::string&, SimWindows&) {
    return Printed("Microsoft Windows [Version 10.0.1]\r\n", false);
  });
  EXPECT_EQ(CaptureConsoleOutput(ctx, "ver"), "");
}

}  // namespace
}  // namespace orfa
