// The command-line splitter (the rules of CommandLineToArgvW on 8-bit text).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32/Win32Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  size_t total = 0;
  for (const std::string& argument : orfa::SplitCommandLine(line)) total += argument.size();
  if (total > line.size()) __builtin_trap();  // arguments only ever drop characters
  return 0;
}
