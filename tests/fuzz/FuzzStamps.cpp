// The update-stamp readers over files of any content.
#include <cstddef>
#include <cstdint>
#include <string>

#include "install/Versions.h"
#include "tests/sim/SimWindows.h"

using namespace orfa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  sim::SimWindows sim;
  SetupContext ctx{sim.Get()};
  for (const char* name : {"C:\\Orfa\\orfm.pak", "C:\\Orfa\\orfm.cok", "C:\\Orfa\\orfm.3bs",
                           "C:\\Orfa\\language\\english.lng"}) {
    sim.files.AddFile(name, content);
  }
  ReadPakVersion(ctx, "C:\\Orfa\\orfm.pak");
  ReadCokVersion(ctx, "C:\\Orfa\\orfm.cok");
  Read3bsVersion(ctx, "C:\\Orfa\\orfm.3bs");
  ReadLngVersion(ctx, "C:\\Orfa\\language\\english.lng");
  if (sim.files.LogicHandleCount() != 0) __builtin_trap();  // every reader closes its file
  return 0;
}
