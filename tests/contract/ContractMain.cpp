// The contract test program. Started with "--orfa-sleep MS" it only waits
// that long and ends: the cases use it as a program that outlives a time-out.
// Started with "--orfa-delay-load-without-memory" it asks the delay-load hook
// for a DLL while memory has run out, and ends as the hook makes it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/Win32Platform.h"
#include "tests/contract/Contract.h"

namespace orfa::contract {
namespace {
std::vector<std::string> programArguments;
}

const std::vector<std::string>& ProgramArguments() { return programArguments; }

}  // namespace orfa::contract

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--orfa-sleep") {
    orfa::Win32Platform platform;
    platform.Get().clock.Sleep(static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)));
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--orfa-delay-load-without-memory") {
    return orfa::contract::DelayLoadWithoutMemory();
  }
  for (int i = 1; i < argc; ++i) orfa::contract::programArguments.emplace_back(argv[i]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
