#include "tests/contract/World.h"

namespace orfa::contract {

std::vector<WorldMaker> AllWorlds() {
  return {{"Win32", &MakeRealWorld}, {"Sim", &MakeSimWorld}};
}

}  // namespace orfa::contract
