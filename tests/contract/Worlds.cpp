#include "tests/contract/World.h"

namespace orfa::contract {

std::vector<WorldMaker> AllWorlds() {
  return {{"Win32", &MakeRealWorld}, {"Sim", &MakeSimWorld}};
}

std::vector<WorldMaker> LinkWorlds() {
  std::vector<WorldMaker> worlds = AllWorlds();
  worlds.push_back({"SimFollowingLinks", &MakeSimWorldFollowingLinks});
  return worlds;
}

}  // namespace orfa::contract
