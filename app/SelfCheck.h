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
//
// Here: the one pass over the image that finds the record and hashes, and
// the check the update flow calls. The headers are read by
// app/ImageLayout.h, the record's marker found by app/MarkerFinder.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

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

// Bytes of the image that the running process holds already, as the
// system's loader mapped them from the file: the carried payload, 40 MB of
// the 41. The check takes them from memory rather than reading them again;
// they are the very bytes the installer then writes.
struct LoadedPart {
  uint64_t rva = 0;  // where they lie in the loaded image, counted from its base
  const uint8_t* data = nullptr;
  size_t size = 0;  // 0: none
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
