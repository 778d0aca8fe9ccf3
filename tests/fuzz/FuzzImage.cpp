// The self-check's reader of its own image: the layout from the PE headers,
// the digest over it, and the whole check through the simulated mapping. The
// input is the executable; the marker is the installer's own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/SelfCheck.h"
#include "tests/sim/SimWindows.h"

using namespace orfa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string marker = "orfa-update-sha2";
  // An exact-size copy, so that AddressSanitizer sees any read past the file.
  const std::vector<uint8_t> file(data, data + size);
  if (auto layout = LayoutOfImage(file.data(), file.size(), marker)) {
    if (layout->imageEnd > file.size()) __builtin_trap();
    for (const auto& [offset, length] : layout->zeroed) {
      if (offset + length > layout->imageEnd) __builtin_trap();
    }
    DigestOfImage(file.data(), *layout);
  }
  sim::SimWindows sim;
  sim.files.AddFile("C:\\Setup\\orfa-update.exe", std::string(file.begin(), file.end()));
  SetupContext ctx{sim.Get()};
  CheckExecutableImage(ctx, "C:\\Setup\\orfa-update.exe",
                       marker + std::string(kDigestSize, '\x5A'));
  return 0;
}
