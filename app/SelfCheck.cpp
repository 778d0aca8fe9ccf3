#include "app/SelfCheck.h"

#include <algorithm>
#include <cstring>

#include "app/Xxh3.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

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

// Feeds XXH3-128 with a file's bytes in order, its zeroed ranges as zeros.
class ZeroingHasher {
 public:
  // `data` holds the file's bytes [fed, fed + size); `zeroed` is sorted.
  void Feed(const uint8_t* data, size_t size, const std::vector<std::pair<uint64_t, uint64_t>>& zeroed) {
    const uint64_t start = fed_;
    const uint64_t end = fed_ + size;
    for (const auto& [offset, length] : zeroed) {
      const uint64_t from = std::max(offset, fed_);
      const uint64_t to = std::min(offset + length, end);
      if (from >= to) continue;
      hash_.Update(data + (fed_ - start), static_cast<size_t>(from - fed_));
      Zeros(to - from);
      fed_ = to;
    }
    hash_.Update(data + (fed_ - start), static_cast<size_t>(end - fed_));
    fed_ = end;
  }

  std::string Digest() const { return hash_.Digest(); }

 private:
  void Zeros(uint64_t count) {
    static const uint8_t kZeros[256] = {};
    while (count > 0) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, sizeof kZeros));
      hash_.Update(kZeros, chunk);
      count -= chunk;
    }
  }

  Xxh3Hash hash_;
  uint64_t fed_ = 0;
};

// Reads until `size` bytes are in or the file ends; nullopt when a read fails.
std::optional<size_t> ReadFull(const ImageReader& read, uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const std::optional<size_t> got = read(buffer + done, size - done);
    if (!got) return std::nullopt;
    if (*got == 0) break;
    done += std::min(*got, size - done);
  }
  return done;
}

// How far ahead of the pair it looks at the finder asks for bytes.
constexpr size_t kPrefetchAhead = 2048;

// The two bytes at `at`, the first in the low bits.
uint32_t PairAt(const uint8_t* at) { return at[0] | (static_cast<uint32_t>(at[1]) << 8); }

#if defined(__i386__) || defined(__x86_64__)
// How far ahead the vector finder asks for bytes: a page or two, so that the
// next page's bytes are on their way from memory while this one's are looked
// at (the processor's own prefetching stops at a page's end).
constexpr size_t kVectorPrefetchAhead = 4096;

// The first place in [0, length) where the whole marker (size >= 2) lies,
// among those whose bytes all lie before `length`, looked at `kWidth` places
// at a time: a place whose first and last bytes are the marker's is compared
// whole. Returns `length` when none is, and sets `*next` to the first place
// it did not look at.
#define ORFA_VECTOR_FINDER(NAME, TARGET, VEC, WIDTH, SET1, LOAD, AND, CMPEQ, MOVEMASK)       \
  __attribute__((target(TARGET), force_align_arg_pointer)) size_t NAME(                    \
      const uint8_t* from, size_t length, const uint8_t* marker, size_t size, size_t* next) { \
    const VEC first = SET1(static_cast<char>(marker[0]));                                    \
    const VEC last = SET1(static_cast<char>(marker[size - 1]));                              \
    size_t at = 0;                                                                           \
    for (; length - at >= (WIDTH) + size - 1; at += (WIDTH)) {                               \
      if (length - at > kVectorPrefetchAhead) {                                              \
        _mm_prefetch(reinterpret_cast<const char*>(from + at + kVectorPrefetchAhead), _MM_HINT_T0); \
      }                                                                                      \
      const VEC heads = LOAD(reinterpret_cast<const VEC*>(from + at));                       \
      const VEC tails = LOAD(reinterpret_cast<const VEC*>(from + at + size - 1));            \
      uint32_t both = static_cast<uint32_t>(MOVEMASK(AND(CMPEQ(heads, first), CMPEQ(tails, last)))); \
      for (; both != 0; both &= both - 1) {                                                  \
        const size_t place = at + static_cast<size_t>(__builtin_ctz(both));                  \
        if (std::memcmp(from + place, marker, size) == 0) return place;                      \
      }                                                                                      \
    }                                                                                        \
    *next = at;                                                                              \
    return length;                                                                           \
  }

ORFA_VECTOR_FINDER(FindSse2, "sse2", __m128i, 16, _mm_set1_epi8, _mm_loadu_si128, _mm_and_si128,
                   _mm_cmpeq_epi8, _mm_movemask_epi8)
ORFA_VECTOR_FINDER(FindAvx2, "avx2", __m256i, 32, _mm256_set1_epi8, _mm256_loadu_si256,
                   _mm256_and_si256, _mm256_cmpeq_epi8, _mm256_movemask_epi8)
#undef ORFA_VECTOR_FINDER
#endif

}  // namespace

MarkerFinder::MarkerFinder(const std::string& marker, Xxh3Vector vector)
    : vector_(Xxh3VectorRuns(vector) ? vector : Xxh3Vector::Scalar), marker_(marker), pairs_(65536 / 32) {
  for (size_t i = 0; i + 1 < marker_.size(); ++i) {
    const uint32_t pair = PairAt(reinterpret_cast<const uint8_t*>(marker_.data()) + i);
    pairs_[pair >> 5] |= uint32_t{1} << (pair & 31);
  }
}

const uint8_t* MarkerFinder::Find(const uint8_t* from, const uint8_t* end) const {
#if defined(__i386__) || defined(__x86_64__)
  const size_t size = marker_.size();
  const size_t length = static_cast<size_t>(end - from);
  if (size >= 2 && length >= size && vector_ != Xxh3Vector::Scalar) {
    const auto* marker = reinterpret_cast<const uint8_t*>(marker_.data());
    size_t next = 0;
    const size_t place = vector_ == Xxh3Vector::Avx2 ? FindAvx2(from, length, marker, size, &next)
                                                     : FindSse2(from, length, marker, size, &next);
    if (place != length) return from + place;
    // The last places, too few for a whole vector.
    return FindByPairs(from + next, end);
  }
#endif
  return FindByPairs(from, end);
}

const uint8_t* MarkerFinder::FindByPairs(const uint8_t* from, const uint8_t* end) const {
  const size_t size = marker_.size();
  const size_t length = static_cast<size_t>(end - from);
  const auto* marker = reinterpret_cast<const uint8_t*>(marker_.data());
  if (size == 0 || length < size) return end;
  if (size == 1) {
    const void* found = std::memchr(from, marker[0], length);
    return found ? static_cast<const uint8_t*>(found) : end;
  }
  // A place [s, s + size) holds the pairs that start at s .. s + size - 2,
  // so looking at every (size - 1)-th pair meets each place exactly once, at
  // the first pair looked at from s on; the places met at one pair all lie
  // before those met at the next, so the first place found is the first one.
  const size_t step = size - 1;
  const size_t lastStart = length - size;
  for (size_t at = 0; at + 2 <= length; at += step) {
    // The bytes come from memory, not the cache, at first: asked for early,
    // they arrive while the pairs before them are looked at.
    if (at + kPrefetchAhead < length) __builtin_prefetch(from + at + kPrefetchAhead);
    if (!HasPair(PairAt(from + at))) continue;
    for (size_t start = at - std::min(step - 1, at); start <= at && start <= lastStart; ++start) {
      if (std::memcmp(from + start, marker, size) == 0) return from + start;
    }
  }
  return end;
}

std::optional<ImageLayout> LayoutOfHeaders(const uint8_t* head, size_t headSize, uint64_t fileSize) {
  const uint64_t size = std::min<uint64_t>(headSize, fileSize);
  if (size < 0x40 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
  const uint64_t pe = ReadLe(head, 0x3C, 4);
  if (!Inside(pe, 24, size) || ReadLe(head, pe, 4) != 0x00004550) return std::nullopt;
  const uint64_t coff = pe + 4;
  const uint64_t sections = ReadLe(head, coff + 2, 2);
  const uint64_t optionalSize = ReadLe(head, coff + 16, 2);
  const uint64_t optional = coff + 20;
  if (!Inside(optional, 2, size)) return std::nullopt;
  // The certificate table's directory entry: PE32 and PE32+ (the 64-bit
  // build the Wine tests use where no 32-bit program runs) differ there.
  const uint64_t magic = ReadLe(head, optional, 2);
  const uint64_t certificateEntry = magic == 0x10B ? 128 : magic == 0x20B ? 144 : 0;
  if (certificateEntry == 0 || optionalSize < certificateEntry + 8 ||
      !Inside(optional, optionalSize, size)) {
    return std::nullopt;
  }
  const uint64_t table = optional + optionalSize;
  if (sections == 0 || !Inside(table, sections * 40, size)) return std::nullopt;

  ImageLayout layout;
  for (uint64_t i = 0; i < sections; ++i) {
    const uint64_t header = table + i * 40;
    const uint64_t rawSize = ReadLe(head, header + 16, 4);
    const uint64_t rawPointer = ReadLe(head, header + 20, 4);
    if (rawSize != 0) layout.imageEnd = std::max(layout.imageEnd, rawPointer + rawSize);
    layout.sections.push_back({ReadLe(head, header + 12, 4), rawPointer, rawSize});
  }
  // A truncated file, or one whose sections end before its own headers.
  if (layout.imageEnd > fileSize || layout.imageEnd < table + sections * 40) return std::nullopt;
  layout.zeroed = {{optional + 64, 4},                 // CheckSum
                   {optional + certificateEntry, 8}};  // certificate table entry
  return layout;
}

std::string DigestOfImage(const uint8_t* data, const ImageLayout& layout) {
  ZeroingHasher hasher;
  hasher.Feed(data, static_cast<size_t>(layout.imageEnd), layout.zeroed);
  return hasher.Digest();
}

namespace {

// One pass over an image's bytes in order, whichever piece comes from the
// file and whichever from memory: looks for the record, also across the
// pieces' ends, and hashes.
class ImagePass {
 public:
  ImagePass(const std::string& marker, ImageLayout layout)
      : marker_(marker), finder_(marker), layout_(std::move(layout)) {}

  uint64_t Position() const { return pos_; }

  // The image's next bytes. False when they show it damaged: the record a
  // second time, or a record whose digest would lie past the image's end.
  bool Feed(const uint8_t* piece, size_t size) {
    // Places that start in the bytes before the piece and end in it; a
    // place lies in neither alone, as each holds fewer bytes than the marker.
    joint_.assign(tail_.begin(), tail_.end());
    joint_.insert(joint_.end(), piece, piece + std::min(size, marker_.size() - 1));
    for (const uint8_t* at = joint_.data(), *end = at + joint_.size();; ++at) {
      at = finder_.Find(at, end);
      if (at == end) break;
      if (!Record(pos_ - tail_.size() + static_cast<uint64_t>(at - joint_.data()))) return false;
    }
    for (const uint8_t* at = piece, *end = piece + size;; ++at) {
      at = finder_.Find(at, end);
      if (at == end) break;
      if (!Record(pos_ + static_cast<uint64_t>(at - piece))) return false;
    }
    hasher_.Feed(piece, size, layout_.zeroed);
    const size_t keep = marker_.size() - 1;
    if (size >= keep) {
      tail_.assign(piece + size - keep, piece + size);
    } else {
      tail_.insert(tail_.end(), piece, piece + size);
      if (tail_.size() > keep) {
        tail_.erase(tail_.begin(), tail_.end() - static_cast<std::ptrdiff_t>(keep));
      }
    }
    pos_ += size;
    return true;
  }

  ImageDigest Result() const {
    ImageDigest result;
    if (!record_) return result;
    result.record = record_;
    result.digest = hasher_.Digest();
    return result;
  }

 private:
  bool Record(uint64_t at) {
    if (record_) return false;  // twice: the digest could not say which one is its own
    if (!Inside(at, marker_.size() + kDigestSize, layout_.imageEnd)) return false;
    record_ = at;
    // Its digest bytes lie after the marker's last byte, none of them fed yet.
    layout_.zeroed.emplace_back(at + marker_.size(), kDigestSize);
    std::sort(layout_.zeroed.begin(), layout_.zeroed.end());
    return true;
  }

  std::string marker_;
  MarkerFinder finder_;
  ImageLayout layout_;
  ZeroingHasher hasher_;
  std::optional<uint64_t> record_;
  std::vector<uint8_t> tail_;  // the last bytes fed, fewer than the marker's
  std::vector<uint8_t> joint_;  // the tail, then the next piece's first bytes; reused
  uint64_t pos_ = 0;
};

}  // namespace

std::optional<uint64_t> FileOffsetOf(const ImageLayout& layout, uint64_t rva, uint64_t size) {
  for (const ImageSection& section : layout.sections) {
    if (rva >= section.virtualAddress && size <= section.rawSize &&
        rva - section.virtualAddress <= section.rawSize - size) {
      return section.rawPointer + (rva - section.virtualAddress);
    }
  }
  return std::nullopt;
}

ImageDigest DigestOfImageFile(const ImageReader& read, uint64_t fileSize, const std::string& marker,
                              size_t chunk, size_t headBytes, const LoadedPart& loaded,
                              const ImageSeeker& seek) {
  ImageDigest result;
  if (marker.empty() || chunk == 0) return result;
  std::vector<uint8_t> buffer(std::max(chunk, headBytes));
  std::optional<size_t> got =
      ReadFull(read, buffer.data(), static_cast<size_t>(std::min<uint64_t>(buffer.size(), fileSize)));
  if (!got) {
    result.readFailed = true;
    return result;
  }
  const std::optional<ImageLayout> layout = LayoutOfHeaders(buffer.data(), *got, fileSize);
  if (!layout) return result;
  const uint64_t imageEnd = layout->imageEnd;
  // Where the bytes held in memory lie in the file; they are not read.
  std::optional<uint64_t> loadedAt;
  if (loaded.size > 0 && loaded.data != nullptr && seek) {
    loadedAt = FileOffsetOf(*layout, loaded.rva, loaded.size);
  }

  ImagePass pass(marker, *layout);
  size_t used = 0;  // bytes of the buffer fed so far; the buffer holds *got
  while (pass.Position() < imageEnd) {
    const uint64_t pos = pass.Position();
    if (loadedAt && pos == *loadedAt) {
      const size_t most = std::min(chunk, kLoadedPiece);
      for (size_t done = 0; done < loaded.size; done += std::min(most, loaded.size - done)) {
        if (!pass.Feed(loaded.data + done, std::min(most, loaded.size - done))) return result;
      }
      if (pass.Position() < imageEnd && !seek(pass.Position())) {
        result.readFailed = true;
        return result;
      }
      used = *got = 0;  // what the buffer held lay before the loaded bytes, or in them
      continue;
    }
    const uint64_t until = loadedAt && pos < *loadedAt ? *loadedAt : imageEnd;
    if (used == *got) {
      got = ReadFull(read, buffer.data(), static_cast<size_t>(std::min<uint64_t>(chunk, until - pos)));
      if (!got) {
        result.readFailed = true;
        return result;
      }
      if (*got == 0) return result;  // the file ends before its image does
      used = 0;
    }
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(*got - used, until - pos));
    if (!pass.Feed(buffer.data() + used, piece)) return result;
    used += piece;
  }
  return pass.Result();
}

ImageCheck CheckExecutableImage(SetupContext& ctx, const std::string& path,
                                const std::string& slot, const LoadedPart& loaded) {
  if (slot.size() != kDigestSlotSize) return ImageCheck::Damaged;
  const std::string marker = slot.substr(0, kDigestMarkerSize);
  const std::string expected = slot.substr(kDigestMarkerSize);
  if (expected == std::string(kDigestSize, '\0')) return ImageCheck::Damaged;  // never stamped

  // Read in pieces through one reused buffer: the file is read once, but
  // for the bytes the process holds in memory, and the check holds no copy.
  uint32_t error = 0;
  auto file = ctx.Os.files.Open(path, kGenericRead, kShareRead | kShareDelete,
                                Disposition::OpenExisting, &error);
  if (!file) return ImageCheck::Unreadable;
  const std::optional<uint64_t> size = file->Size(&error);
  if (!size) return ImageCheck::Unreadable;
  const ImageDigest image = DigestOfImageFile(
      [&](uint8_t* buffer, size_t want) { return file->Read(buffer, want, &error); }, *size, marker,
      kImageReadChunk, kImageHeadBytes, loaded,
      [&](uint64_t offset) { return file->Seek(offset) == kErrorSuccess; });
  if (image.readFailed) return ImageCheck::Unreadable;
  return image.record && image.digest == expected ? ImageCheck::Intact : ImageCheck::Damaged;
}

}  // namespace orfa
