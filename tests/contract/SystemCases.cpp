// Processes, named mappings, environment, code pages and the digest.
#include "tests/contract/Contract.h"

namespace orfa::contract {
namespace {

constexpr uint32_t kNewConsoleGroup = 0x210;  // CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

ORFA_CONTRACT_SUITE(ProcessContract);

TEST_P(ProcessContract, SecondMappingOfTheSameNameReportsThatItExists) {
  const std::string name = "orfa_contract_memfile";
  uint32_t lastError = 1;
  auto first = os().processes.CreateNamedMapping(name, 64, &lastError);
  ASSERT_TRUE(first);
  EXPECT_EQ(lastError, kErrorSuccess);
  auto second = os().processes.CreateNamedMapping(name, 64, &lastError);
  EXPECT_TRUE(second);
  EXPECT_EQ(lastError, kErrorAlreadyExists);
  second.reset();
  first.reset();
  // Once every handle is closed the name is free again.
  auto third = os().processes.CreateNamedMapping(name, 64, &lastError);
  EXPECT_TRUE(third);
  EXPECT_EQ(lastError, kErrorSuccess);
}

TEST_P(ProcessContract, MappingNamesKeepTheirCase) {
  uint32_t lastError = 1;
  auto lower = os().processes.CreateNamedMapping("orfa_contract_case", 64, &lastError);
  ASSERT_TRUE(lower);
  EXPECT_EQ(lastError, kErrorSuccess);
  auto upper = os().processes.CreateNamedMapping("ORFA_CONTRACT_CASE", 64, &lastError);
  EXPECT_TRUE(upper);
  EXPECT_EQ(lastError, kErrorSuccess);
}

TEST_P(ProcessContract, WindowsAreFoundByClassAndTakePostedMessages) {
  constexpr uint32_t kMessage = 0x0400 + 5;  // WM_USER + 5
  const WindowId window = world().AddWindow("TOrfaContractForm");
  auto found = os().processes.FindTopLevelWindow("torfacontractform");
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, window);
  EXPECT_FALSE(os().processes.FindTopLevelWindow("TOrfaNoSuchForm"));

  EXPECT_TRUE(os().processes.PostMessage(window, kMessage, 1, 2));
  EXPECT_EQ(world().Received(window), std::vector<uint32_t>{kMessage});

  world().RemoveWindow(window);
  EXPECT_FALSE(os().processes.FindTopLevelWindow("TOrfaContractForm"));
  EXPECT_FALSE(os().processes.PostMessage(window, kMessage, 1, 2));
}

TEST_P(ProcessContract, InterpreterPrintsVerIntoThePipe) {
  world().Expect(World::Programs::Interpreter);
  const std::string interpreter = os().files.SystemDirectory() + "\\cmd.exe";
  auto result = os().processes.RunCaptured(interpreter, "\"" + interpreter + "\" /d /c ver",
                                           kNewConsoleGroup, kInfinite);
  EXPECT_TRUE(result.started);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.error, kErrorSuccess);
  EXPECT_NE(result.output.find("Windows"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("\r\n"), std::string::npos) << result.output;
}

TEST_P(ProcessContract, ProgramThatCannotStartGivesTheReason) {
  world().Expect(World::Programs::Missing);
  std::string missing = world().Folder() + "missing.exe";
  auto result = os().processes.RunCaptured(missing, "\"" + missing + "\"", kNewConsoleGroup,
                                           kInfinite);
  EXPECT_FALSE(result.started);
  EXPECT_FALSE(result.finished);
  EXPECT_EQ(result.error, kErrorFileNotFound);
  EXPECT_EQ(result.output, "");
}

TEST_P(ProcessContract, ProgramOutlivingTheTimeOutIsEnded) {
  world().Expect(World::Programs::Long);
  auto result = os().processes.RunCaptured("", world().LongCommand(60000), kNewConsoleGroup, 300);
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.finished);
  EXPECT_EQ(result.error, kErrorTimeout);
  auto quick = os().processes.RunCaptured("", world().LongCommand(0), kNewConsoleGroup, 60000);
  EXPECT_TRUE(quick.started);
  EXPECT_TRUE(quick.finished);
}

ORFA_CONTRACT_SUITE(SystemContract);

TEST_P(SystemContract, EnvironmentTellsUnsetFromEmpty) {
  world().SetEnvironment("ORFA_CONTRACT_EMPTY", std::string());
  world().SetEnvironment("ORFA_CONTRACT_UNSET", std::nullopt);
  const std::string longValue(5000, 'x');
  world().SetEnvironment("ORFA_CONTRACT_LONG", longValue);
  world().SetEnvironment("ORFA_CONTRACT_TEMP", "C:\\Temp");

  EXPECT_EQ(os().system.Environment("ORFA_CONTRACT_EMPTY"), std::string());
  EXPECT_EQ(os().system.Environment("ORFA_CONTRACT_UNSET"), std::nullopt);
  EXPECT_EQ(os().system.Environment("ORFA_CONTRACT_LONG"), longValue);
  EXPECT_EQ(os().system.Environment("orfa_contract_temp"), "C:\\Temp");
}

TEST_P(SystemContract, OemToAnsiKeepsAsciiAndLength) {
  std::string ascii = "\r\nMicrosoft Windows [Version 10.0.19045.2965]\r\n";
  for (char c = 0x20; c < 0x7F; ++c) ascii += c;
  EXPECT_EQ(os().system.OemToAnsi(ascii), ascii);
  EXPECT_EQ(os().system.OemToAnsi(std::string()), std::string());
  std::string high = "\x80\xA0\xE0\xFF";
  EXPECT_EQ(os().system.OemToAnsi(high).size(), high.size());
}

TEST_P(SystemContract, AnsiCodePagesOfLocales) {
  EXPECT_EQ(os().system.AnsiCodePageOf(0x0419), 1251u);  // Russian
  EXPECT_EQ(os().system.AnsiCodePageOf(0x0409), 1252u);  // English (United States)
  EXPECT_EQ(os().system.AnsiCodePageOf(0x0422), 1251u);  // Ukrainian
}

TEST_P(SystemContract, ProcessorArchitectureIsTheNativeOne) {
  constexpr uint16_t kArchitectureIntel = 0;
  constexpr uint16_t kArchitectureAmd64 = 9;
  // A 32-bit process on a 64-bit system sees the system's own processor.
  EXPECT_EQ(os().system.ProcessorArchitecture(),
            world().Is64BitSystem() ? kArchitectureAmd64 : kArchitectureIntel);
}

TEST_P(SystemContract, VersionRecordsAgree) {
  auto extended = os().system.Version(true);
  auto basic = os().system.Version(false);
  ASSERT_TRUE(extended);
  ASSERT_TRUE(basic);
  EXPECT_EQ(extended->platformId, 2u);
  EXPECT_EQ(basic->platformId, 2u);
  EXPECT_EQ(extended->major, basic->major);
  EXPECT_EQ(extended->minor, basic->minor);
  EXPECT_EQ(extended->build, basic->build);
  EXPECT_EQ(extended->servicePack, basic->servicePack);
  EXPECT_GE(extended->major, 5u);
  EXPECT_NE(extended->productType, 0u);
}

}  // namespace
}  // namespace orfa::contract
