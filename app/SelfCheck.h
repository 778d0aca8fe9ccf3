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

#include "app/Xxh3.h"
#include "core/SetupContext.h"

namespace orfa {

// The record's marker, which names the digest that follows it. The stamping
// tool (tools/stamp_digest.py) looks for the same 16 bytes.
constexpr char kDigestMarker[] = "orfa-update-xxh3";
constexpr size_t kDigestMarkerSize = sizeof kDigestMarker - 1;
static_assert(kDigestMarkerSize == 16, "the record starts with 16 bytes of marker");
constexpr size_t kDigestSize = 16;
constexpr size_t kDigestSlotSize = kDigestMarkerSize + kDigestSize;

enum class ImageCheck { Intact, Damaged, Unreadable };

// The pieces the file is read in: large enough for few reads, small enough
// that the check needs no memory to speak of.
constexpr size_t kImageReadChunk = size_t{1} << 20;

// The pieces the bytes held in memory are looked at and hashed in: small
// enough that the hash finds each piece still in the processor's nearest
// caches, where the marker search has just brought it from memory.
constexpr size_t kLoadedPiece = size_t{64} << 10;

// What the first read takes at least: the headers.
constexpr size_t kImageHeadBytes = 4096;

// A section as its header gives it: where the loader places it in the image
// (counted from the image's base) and where its raw data lies in the file.
struct ImageSection {
  uint64_t virtualAddress = 0;
  uint64_t rawPointer = 0;
  uint64_t rawSize = 0;
};

// Where the digest covers and which bytes count as zero. Every range lies
// inside [0, imageEnd) and imageEnd inside the file; `zeroed` is sorted by
// offset and may overlap.
struct ImageLayout {
  uint64_t imageEnd = 0;                              // end of the last section's raw data
  std::vector<std::pair<uint64_t, uint64_t>> zeroed;  // offset, length
  std::vector<ImageSection> sections = {};            // as the headers list them
};

// Bytes of the image that the running process holds already, as the
// system's loader mapped them from the file: the carried payload, 40 MB of
// the 41. The check takes them from memory rather than reading them again;
// they are the very bytes the installer then writes.
struct LoadedPart {
  uint64_t rva = 0;  // where they lie in the loaded image, counted from its base
  const uint8_t* data = nullptr;
  size_t size = 0;  // 0: none
};

// The layout the PE headers give (the CheckSum and the certificate-table
// entry; the record is found while the image is read), from the file's first
// `headSize` bytes of `fileSize`; nullopt unless they hold the whole headers
// of a PE32 or PE32+ image that ends inside the file.
std::optional<ImageLayout> LayoutOfHeaders(const uint8_t* head, size_t headSize, uint64_t fileSize);

// Where the loaded image's bytes [rva, rva + size) lie in the file: in the
// raw data of a section, else nullopt (bytes the loader made, not read).
std::optional<uint64_t> FileOffsetOf(const ImageLayout& layout, uint64_t rva, uint64_t size);

// The digest of bytes [0, layout.imageEnd) of `data` with the zeroed ranges
// fed as zeros, hashed in place.
std::string DigestOfImage(const uint8_t* data, const ImageLayout& layout);

// Finds a marker in bytes, as std::search would, but fast in long runs of
// bytes that do not hold it. With vector instructions (SSE2 or AVX2, as the
// hash picks them) it compares 16 or 32 places at once by their first and
// last bytes, and the whole marker only where both match. Without them it
// looks at every (size - 1)-th pair of neighbouring bytes only: every place
// of the marker holds one of those pairs, and a pair that is none of the
// marker's own (almost every pair, in any data) rules out every place
// around it at once. Every kind finds the same place.
class MarkerFinder {
 public:
  explicit MarkerFinder(const std::string& marker, Xxh3Vector vector = WidestXxh3Vector());
  // The first place in [from, end) where the whole marker lies; `end` when
  // there is none (always, for an empty marker).
  const uint8_t* Find(const uint8_t* from, const uint8_t* end) const;

 private:
  // 32-bit words: a shift of a 64-bit one takes several instructions in the 32-bit build.
  bool HasPair(uint32_t pair) const { return (pairs_[pair >> 5] >> (pair & 31)) & 1; }
  // The pairs' way, for any marker and bytes.
  const uint8_t* FindByPairs(const uint8_t* from, const uint8_t* end) const;

  Xxh3Vector vector_;

  std::string marker_;
  std::vector<uint32_t> pairs_;  // a bit for each of the 65536 pairs: is it one of the marker's
};

// Reads the next bytes of the file into `buffer`: the count read (0 at its
// end) or nullopt when the read fails.
using ImageReader = std::function<std::optional<size_t>(uint8_t* buffer, size_t size)>;
// Moves the reading to a place of the file; false when it cannot.
using ImageSeeker = std::function<bool(uint64_t offset)>;

// One pass over an image read in order: its headers, the one place of the
// record (`marker` followed by the digest), and the digest with the record's
// own digest bytes taken as zeros. Nothing after the image's end is read.
struct ImageDigest {
  bool readFailed = false;
  std::optional<uint64_t> record;  // set only when the marker is there exactly once, record inside the image
  std::string digest;              // set with `record`
};
// The first read takes `headBytes` at least, for the headers; every later
// one at most `chunk`. The `loaded` part, when the headers place it in the
// file, is taken from memory and skipped in the file with `seek`.
ImageDigest DigestOfImageFile(const ImageReader& read, uint64_t fileSize,
                              const std::string& marker, size_t chunk = kImageReadChunk,
                              size_t headBytes = kImageHeadBytes, const LoadedPart& loaded = {},
                              const ImageSeeker& seek = {});

// Checks the file at `path` against the digest record `slot`, taking the
// `loaded` part from memory.
ImageCheck CheckExecutableImage(SetupContext& ctx, const std::string& path,
                                const std::string& slot, const LoadedPart& loaded = {});

}  // namespace orfa
