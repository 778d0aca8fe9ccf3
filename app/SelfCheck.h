// The installer's check of its own executable.
//
// The build stamps a SHA-256 digest of the finished executable into a record
// inside it: 16 bytes of marker, then the 32 bytes of the digest. The digest
// covers the PE image from its first byte to the end of its last section,
// with three fields taken as zeros: the optional header's CheckSum, the
// certificate-table entry of the data directory, and the digest itself.
// Authenticode signing changes only those two header fields and appends the
// certificate table after the last section, so a signed executable keeps its
// digest, while any change to the headers, code, data or the embedded payload
// breaks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/SetupContext.h"

namespace orfa {

constexpr size_t kDigestMarkerSize = 16;
constexpr size_t kDigestSize = 32;
constexpr size_t kDigestSlotSize = kDigestMarkerSize + kDigestSize;

enum class ImageCheck { Intact, Damaged, Unreadable };

// Where the digest covers and which bytes count as zero, from the image's
// headers; nullopt when the headers are not those of a PE32 image holding
// the digest record exactly once.
struct ImageLayout {
  size_t imageEnd = 0;                            // end of the last section's raw data
  std::vector<std::pair<size_t, size_t>> zeroed;  // offset, length
};
std::optional<ImageLayout> LayoutOfImage(const std::vector<uint8_t>& file,
                                         const std::string& marker);

// Checks the file at `path` against the digest record `slot`.
ImageCheck CheckExecutableImage(SetupContext& ctx, const std::string& path,
                                const std::string& slot);

}  // namespace orfa
