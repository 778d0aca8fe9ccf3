// The frame of the contract cases: every suite runs once per world.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/contract/World.h"

namespace orfa::contract {

class Contract : public ::testing::TestWithParam<WorldMaker> {
 protected:
  void SetUp() override { world_ = GetParam().make(); }
  void TearDown() override { world_.reset(); }

  World& world() { return *world_; }
  Platform& os() { return world_->Get(); }

 private:
  std::unique_ptr<World> world_;
};

inline std::string WorldName(const ::testing::TestParamInfo<WorldMaker>& info) {
  return info.param.name;
}

// The arguments the test program was started with, after its name.
const std::vector<std::string>& ProgramArguments();

// The calling thread's next allocation throws std::bad_alloc (Win32Only_win.cpp);
// pending until that allocation is made.
void FailNextAllocationOnThisThread();
bool AllocationFailurePending();
// The program started with "--orfa-delay-load-without-memory".
int DelayLoadWithoutMemory();

}  // namespace orfa::contract

#define ORFA_CONTRACT_SUITE(Suite)                                                      \
  class Suite : public ::orfa::contract::Contract {};                                  \
  INSTANTIATE_TEST_SUITE_P(Worlds, Suite,                                              \
                           ::testing::ValuesIn(::orfa::contract::AllWorlds()),         \
                           ::orfa::contract::WorldName)
