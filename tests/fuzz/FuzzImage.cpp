// The self-check's reader of its own image: the layout from the PE headers,
// the one pass in pieces, and the whole check through the simulated file
// system. The
// input is the executable; the marker is the installer's own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/ImageLayout.h"
#include "app/SelfCheck.h"
#include "tests/sim/SimWindows.h"

using namespace orfa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string marker = kDigestMarker;
  // An exact-size copy, so that AddressSanitizer sees any read past the file.
  const std::vector<uint8_t> file(data, data + size);
  if (auto layout = LayoutOfHeaders(file.data(), file.size(), file.size())) {
    if (layout->imageEnd > file.size()) __builtin_trap();
    for (const auto& [offset, length] : layout->zeroed) {
      if (offset + length > layout->imageEnd) __builtin_trap();
    }
  }
  // Read in pieces of a size the input chooses: the same outcome as one piece.
  const size_t chunk = size > 0 ? 1 + data[size - 1] % 64 : 1;
  auto digest = [&](size_t piece, size_t head, const LoadedPart& loaded) {
    size_t at = 0;
    return DigestOfImageFile(
        [&](uint8_t* buffer, size_t want) -> std::optional<size_t> {
          const size_t n = std::min(want, file.size() - at);
          std::copy(file.begin() + static_cast<std::ptrdiff_t>(at),
                    file.begin() + static_cast<std::ptrdiff_t>(at + n), buffer);
          at += n;
          return n;
        },
        file.size(), marker, piece, head, loaded,
        [&](uint64_t offset) {
          if (offset > file.size()) __builtin_trap();  // only ever forward, inside the file
          at = static_cast<size_t>(offset);
          return true;
        });
  };
  // Both first reads take the same 256 bytes: the headers look the same.
  const ImageDigest inPieces = digest(chunk, 256, {});
  const ImageDigest larger = digest(256, 256, {});
  if (inPieces.record != larger.record || inPieces.digest != larger.digest) __builtin_trap();
  // A section's raw data held in memory, as the loader maps it: the same
  // outcome as reading it.
  if (auto layout = LayoutOfHeaders(file.data(), std::min<size_t>(file.size(), 256), file.size())) {
    for (const ImageSection& section : layout->sections) {
      const auto offset = FileOffsetOf(*layout, section.virtualAddress, section.mappedSize);
      if (section.mappedSize == 0 || !offset || *offset + section.mappedSize > file.size()) continue;
      const LoadedPart loaded{section.virtualAddress, file.data() + *offset,
                              static_cast<size_t>(section.mappedSize)};
      const ImageDigest fromMemory = digest(chunk, 256, loaded);
      if (fromMemory.record != larger.record || fromMemory.digest != larger.digest) __builtin_trap();
      break;
    }
  }
  sim::SimWindows sim;
  sim.files.AddFile("C:\\Setup\\orfa-update.exe", std::string(file.begin(), file.end()));
  SetupContext ctx{sim.Get()};
  CheckExecutableImage(ctx, "C:\\Setup\\orfa-update.exe",
                       marker + std::string(kDigestSize, '\x5A'));
  return 0;
}
