// The version number taken from the console command "ver"'s output.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sysinfo/SystemName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);
  for (bool workstation : {true, false}) {
    const std::string word = orfa::VersionWord(output, workstation);
    if (word.empty() || word.back() != ' ') __builtin_trap();
  }
  return 0;
}
