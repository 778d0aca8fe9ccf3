#include "app/SelfCheck.h"

#include <algorithm>
#include <cstring>

// The scalar XXH3 on every target: the same code as the 32-bit build, and
// GCC 12 at -O3 misreads the SSE2 variant's bounds (-Warray-bounds).
#define XXH_INLINE_ALL
#define XXH_VECTOR 0  // XXH_SCALAR
#include <xxhash.h>

namespace orfa {
namespace {

// A little-endian field; the caller has checked that it lies inside the file.
uint32_t ReadLe(const uint8_t* data, uint64_t offset, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(data[offset + i]) << (8 * i);
  return value;
}

// Whether [offset, offset + length) lies inside [0, size); 64-bit throughout.
bool Inside(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

// The one place of `needle` in data[0, size), nullopt when it is absent or not unique.
std::optional<size_t> UniqueOffset(const uint8_t* data, size_t size, const std::string& needle) {
  const auto* first = reinterpret_cast<const uint8_t*>(needle.data());
  const auto* last = first + needle.size();
  const uint8_t* end = data + size;
  const uint8_t* found = std::search(data, end, first, last);
  if (found == end) return std::nullopt;
  if (std::search(found + 1, end, first, last) != end) return std::nullopt;
  return static_cast<size_t>(found - data);
}

}  // namespace

std::optional<ImageLayout> LayoutOfImage(const uint8_t* file, size_t size,
                                         const std::string& marker) {
  const uint64_t fileSize = size;
  if (marker.empty() || fileSize < 0x40 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
  const uint64_t pe = ReadLe(file, 0x3C, 4);
  if (!Inside(pe, 24, fileSize) || ReadLe(file, pe, 4) != 0x00004550) return std::nullopt;
  const uint64_t coff = pe + 4;
  const uint64_t sections = ReadLe(file, coff + 2, 2);
  const uint64_t optionalSize = ReadLe(file, coff + 16, 2);
  const uint64_t optional = coff + 20;
  if (!Inside(optional, 2, fileSize)) return std::nullopt;
  // The certificate table's directory entry: PE32 and PE32+ (the 64-bit
  // build the Wine tests use where no 32-bit program runs) differ there.
  const uint64_t magic = ReadLe(file, optional, 2);
  const uint64_t certificateEntry = magic == 0x10B ? 128 : magic == 0x20B ? 144 : 0;
  if (certificateEntry == 0 || optionalSize < certificateEntry + 8 ||
      !Inside(optional, optionalSize, fileSize)) {
    return std::nullopt;
  }
  const uint64_t table = optional + optionalSize;
  if (sections == 0 || !Inside(table, sections * 40, fileSize)) return std::nullopt;

  ImageLayout layout;
  for (uint64_t i = 0; i < sections; ++i) {
    const uint64_t header = table + i * 40;
    const uint64_t rawSize = ReadLe(file, header + 16, 4);
    const uint64_t rawPointer = ReadLe(file, header + 20, 4);
    if (rawSize != 0) layout.imageEnd = std::max(layout.imageEnd, rawPointer + rawSize);
  }
  // A truncated file, or one whose sections end before its own headers.
  if (layout.imageEnd > fileSize || layout.imageEnd < table + sections * 40) return std::nullopt;

  auto slot = UniqueOffset(file, static_cast<size_t>(layout.imageEnd), marker);
  if (!slot || !Inside(*slot, kDigestSlotSize, layout.imageEnd)) return std::nullopt;
  layout.zeroed = {{optional + 64, 4},                       // CheckSum
                   {optional + certificateEntry, 8},         // certificate table entry
                   {*slot + kDigestMarkerSize, kDigestSize}};  // the digest itself
  std::sort(layout.zeroed.begin(), layout.zeroed.end());
  return layout;
}

std::string DigestOfImage(const uint8_t* file, const ImageLayout& layout) {
  static const uint8_t kZeros[kDigestSize] = {};
  XXH3_state_t state;
  XXH3_INITSTATE(&state);
  XXH3_128bits_reset(&state);
  uint64_t done = 0;  // bytes of the image fed so far
  for (const auto& [offset, length] : layout.zeroed) {
    if (offset > done) XXH3_128bits_update(&state, file + done, static_cast<size_t>(offset - done));
    const uint64_t end = std::max(done, offset + length);
    for (uint64_t left = end - std::max(done, offset); left > 0;) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, sizeof kZeros));
      XXH3_128bits_update(&state, kZeros, chunk);
      left -= chunk;
    }
    done = end;
  }
  if (layout.imageEnd > done) {
    XXH3_128bits_update(&state, file + done, static_cast<size_t>(layout.imageEnd - done));
  }
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(&state));
  return std::string(reinterpret_cast<const char*>(canonical.digest), sizeof canonical.digest);
}

ImageCheck CheckExecutableImage(SetupContext& ctx, const std::string& path,
                                const std::string& slot) {
  if (slot.size() != kDigestSlotSize) return ImageCheck::Damaged;
  const std::string marker = slot.substr(0, kDigestMarkerSize);
  const std::string expected = slot.substr(kDigestMarkerSize);
  if (expected == std::string(kDigestSize, '\0')) return ImageCheck::Damaged;  // never stamped

  uint32_t error = 0;
  auto view = ctx.Os.files.MapForReading(path, &error);
  if (!view) return ImageCheck::Unreadable;
  auto layout = LayoutOfImage(view->Data(), view->Size(), marker);
  if (!layout) return ImageCheck::Damaged;
  return DigestOfImage(view->Data(), *layout) == expected ? ImageCheck::Intact
                                                          : ImageCheck::Damaged;
}

}  // namespace orfa
