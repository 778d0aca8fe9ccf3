#include "app/MarkerFinder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orfa {
namespace {

// The two bytes at `at`, the first in the low bits.
uint32_t PairAt(const uint8_t* at) { return at[0] | (static_cast<uint32_t>(at[1]) << 8); }

#if defined(__i386__) || defined(__x86_64__)
// How far ahead the vector finder asks for bytes: a page or two, so that the
// next page's bytes are on their way from memory while this one's are looked
// at (the processor's own prefetching stops at a page's end).
constexpr size_t kVectorPrefetchAhead = 4096;

// The places of one vector: which of kWidth places in a row start with the
// marker's first byte and end with its last. Each is compiled for its own
// instructions; FindInLanes is compiled into the function of the same
// instructions that calls it.
class Sse2Lanes {
 public:
  static constexpr size_t kWidth = 16;
  __attribute__((target("sse2"))) Sse2Lanes(uint8_t first, uint8_t last)
      : first_(_mm_set1_epi8(static_cast<char>(first))), last_(_mm_set1_epi8(static_cast<char>(last))) {}
  // A bit for each place at `at` whose last byte lies `lastOffset` further.
  __attribute__((target("sse2"))) uint32_t Matches(const uint8_t* at, size_t lastOffset) const {
    const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + lastOffset));
    return static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads, first_), _mm_cmpeq_epi8(tails, last_))));
  }

 private:
  __m128i first_;
  __m128i last_;
};

class Avx2Lanes {
 public:
  static constexpr size_t kWidth = 32;
  __attribute__((target("avx2"))) Avx2Lanes(uint8_t first, uint8_t last)
      : first_(_mm256_set1_epi8(static_cast<char>(first))), last_(_mm256_set1_epi8(static_cast<char>(last))) {}
  __attribute__((target("avx2"))) uint32_t Matches(const uint8_t* at, size_t lastOffset) const {
    const __m256i heads = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i tails = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + lastOffset));
    return static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(heads, first_), _mm256_cmpeq_epi8(tails, last_))));
  }

 private:
  __m256i first_;
  __m256i last_;
};

// The first place in [0, length) where the whole marker (size >= 2) lies,
// among those whose bytes all lie before `length`, looked at kWidth places
// at a time: a place whose first and last bytes are the marker's is compared
// whole. Returns `length` when none is, and sets `*next` to the first place
// it did not look at. Always inlined into a function compiled for the
// lanes' instructions (a call per vector would cost more than the compare).
template <typename Lanes>
__attribute__((always_inline)) inline size_t FindInLanes(const uint8_t* from, size_t length,
                                                         const uint8_t* marker, size_t size, size_t* next) {
  const Lanes lanes(marker[0], marker[size - 1]);
  size_t at = 0;
  for (; length - at >= Lanes::kWidth + size - 1; at += Lanes::kWidth) {
    if (length - at > kVectorPrefetchAhead) __builtin_prefetch(from + at + kVectorPrefetchAhead);
    for (uint32_t both = lanes.Matches(from + at, size - 1); both != 0; both &= both - 1) {
      const size_t place = at + static_cast<size_t>(__builtin_ctz(both));
      if (std::memcmp(from + place, marker, size) == 0) return place;
    }
  }
  *next = at;
  return length;
}

// The template for each kind of instructions, everything inlined (flatten),
// aligning the stack itself: 32-bit Windows promises only 4 bytes.
__attribute__((target("sse2"), force_align_arg_pointer, flatten)) size_t FindSse2(
    const uint8_t* from, size_t length, const uint8_t* marker, size_t size, size_t* next) {
  return FindInLanes<Sse2Lanes>(from, length, marker, size, next);
}

__attribute__((target("avx2"), force_align_arg_pointer, flatten)) size_t FindAvx2(
    const uint8_t* from, size_t length, const uint8_t* marker, size_t size, size_t* next) {
  return FindInLanes<Avx2Lanes>(from, length, marker, size, next);
}
#endif

}  // namespace

MarkerFinder::MarkerFinder(const std::string& marker, VectorInstructions vector)
    : vector_(VectorInstructionsRun(vector) ? vector : VectorInstructions::None),
      marker_(marker),
      pairs_(65536 / 32) {
  for (size_t i = 0; i + 1 < marker_.size(); ++i) {
    const uint32_t pair = PairAt(reinterpret_cast<const uint8_t*>(marker_.data()) + i);
    pairs_[pair >> 5] |= uint32_t{1} << (pair & 31);
  }
}

const uint8_t* MarkerFinder::Find(const uint8_t* from, const uint8_t* end) const {
#if defined(__i386__) || defined(__x86_64__)
  const size_t size = marker_.size();
  const size_t length = static_cast<size_t>(end - from);
  if (size >= 2 && length >= size && vector_ != VectorInstructions::None) {
    const auto* marker = reinterpret_cast<const uint8_t*>(marker_.data());
    size_t next = 0;
    const size_t place = vector_ == VectorInstructions::Avx2 ? FindAvx2(from, length, marker, size, &next)
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
    if (!HasPair(PairAt(from + at))) continue;
    for (size_t start = at - std::min(step - 1, at); start <= at && start <= lastStart; ++start) {
      if (std::memcmp(from + start, marker, size) == 0) return from + start;
    }
  }
  return end;
}

}  // namespace orfa
