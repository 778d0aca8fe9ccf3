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
#include <functional>
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

// The pieces the file is read in: large enough for few reads, small enough
// that the check needs no memory to speak of.
constexpr size_t kImageReadChunk = size_t{1} << 20;

// Where the digest covers and which bytes count as zero. Every range lies
// inside [0, imageEnd) and imageEnd inside the file; `zeroed` is sorted by
// offset and may overlap.
struct ImageLayout {
  uint64_t imageEnd = 0;                              // end of the last section's raw data
  std::vector<std::pair<uint64_t, uint64_t>> zeroed;  // offset, length
};

// The layout the PE headers give (the CheckSum and the certificate-table
// entry; the record is found while the image is read), from the file's first
// `headSize` bytes of `fileSize`; nullopt unless they hold the whole headers
// of a PE32 or PE32+ image that ends inside the file.
std::optional<ImageLayout> LayoutOfHeaders(const uint8_t* head, size_t headSize, uint64_t fileSize);

// The digest of bytes [0, layout.imageEnd) of `data` with the zeroed ranges
// fed as zeros, hashed in place.
std::string DigestOfImage(const uint8_t* data, const ImageLayout& layout);

// Finds a marker in bytes, as std::search would, but fast in long runs of
// bytes that do not hold it: it looks at every (size - 1)-th pair of
// neighbouring bytes only. Every place of the marker holds one of those
// pairs, and a pair that is none of the marker's own (almost every pair, in
// any data) rules out every place around it at once.
class MarkerFinder {
 public:
  explicit MarkerFinder(const std::string& marker);
  // The first place in [from, end) where the whole marker lies; `end` when
  // there is none (always, for an empty marker).
  const uint8_t* Find(const uint8_t* from, const uint8_t* end) const;

 private:
  bool HasPair(uint32_t pair) const { return (pairs_[pair >> 6] >> (pair & 63)) & 1; }

  std::string marker_;
  std::vector<uint64_t> pairs_;  // a bit for each of the 65536 pairs: is it one of the marker's
};

// Reads the next bytes of the file into `buffer`: the count read (0 at its
// end) or nullopt when the read fails.
using ImageReader = std::function<std::optional<size_t>(uint8_t* buffer, size_t size)>;

// One pass over an image read in order: its headers, the one place of the
// record (`marker` followed by the digest), and the digest with the record's
// own digest bytes taken as zeros. Nothing after the image's end is read.
struct ImageDigest {
  bool readFailed = false;
  std::optional<uint64_t> record;  // set only when the marker is there exactly once, record inside the image
  std::string digest;              // set with `record`
};
// The first read takes `headBytes` at least, for the headers; every later
// one at most `chunk`.
ImageDigest DigestOfImageFile(const ImageReader& read, uint64_t fileSize,
                              const std::string& marker, size_t chunk = kImageReadChunk,
                              size_t headBytes = 4096);

// Checks the file at `path` against the digest record `slot`.
ImageCheck CheckExecutableImage(SetupContext& ctx, const std::string& path,
                                const std::string& slot);

}  // namespace orfa
