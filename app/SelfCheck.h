// The installer's check of its own executable.
//
// The build stamps an XXH3-128 digest of the finished executable into a
// record inside it: 16 bytes of marker, then the 16 bytes of the digest (its
// canonical, big-endian form). The digest covers the PE image from its first
// byte to the end of its last section, with three fields taken as zeros: the
// optional header's CheckSum, the certificate-table entry of the data
// directory, and the digest itself. Authenticode signing changes only those
// two header fields and appends the certificate table after the last section,
// so a signed executable keeps its digest, while any change to the headers,
// code, data or the embedded payload breaks it. The digest detects a damaged
// or truncated download; proving where the file came from is Authenticode's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/SetupContext.h"

namespace orfa {

constexpr size_t kDigestMarkerSize = 16;
constexpr size_t kDigestSize = 16;
constexpr size_t kDigestSlotSize = kDigestMarkerSize + kDigestSize;

enum class ImageCheck { Intact, Damaged, Unreadable };

// Where the digest covers and which bytes count as zero, from the image's
// headers; nullopt when the file is not a whole PE32 image holding the
// digest record exactly once. Every range lies inside [0, imageEnd) and
// imageEnd inside the file; `zeroed` is sorted by offset and may overlap.
struct ImageLayout {
  uint64_t imageEnd = 0;                              // end of the last section's raw data
  std::vector<std::pair<uint64_t, uint64_t>> zeroed;  // offset, length
};
std::optional<ImageLayout> LayoutOfImage(const uint8_t* file, size_t size,
                                         const std::string& marker);

// The digest of `file` over `layout` (from LayoutOfImage on the same bytes),
// hashed in place: the zeroed ranges are fed as zeros, nothing is copied.
std::string DigestOfImage(const uint8_t* file, const ImageLayout& layout);

// Checks the file at `path` against the digest record `slot`.
ImageCheck CheckExecutableImage(SetupContext& ctx, const std::string& path,
                                const std::string& slot);

}  // namespace orfa
