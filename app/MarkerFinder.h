// Finds the digest record's marker in the image's bytes, as std::search
// would, but fast in long runs of bytes that do not hold it. With vector
// instructions (SSE2 or AVX2, the widest that run) it compares 16 or 32
// places at once by their first and last bytes, and the whole marker only
// where both match. Without them it looks at every (size - 1)-th pair of
// neighbouring bytes only: every place of the marker holds one of those
// pairs, and a pair that is none of the marker's own (almost every pair, in
// any data) rules out every place around it at once. Every kind finds the
// same place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/VectorInstructions.h"

namespace orfa {

class MarkerFinder {
 public:
  explicit MarkerFinder(const std::string& marker, VectorInstructions vector = WidestVectorInstructions());
  // The first place in [from, end) where the whole marker lies; `end` when
  // there is none (always, for an empty marker).
  const uint8_t* Find(const uint8_t* from, const uint8_t* end) const;

 private:
  // 32-bit words: a shift of a 64-bit one takes several instructions in the 32-bit build.
  bool HasPair(uint32_t pair) const { return (pairs_[pair >> 5] >> (pair & 31)) & 1; }
  // The pairs' way, for any marker and bytes.
  const uint8_t* FindByPairs(const uint8_t* from, const uint8_t* end) const;

  VectorInstructions vector_;

  std::string marker_;
  std::vector<uint32_t> pairs_;  // a bit for each of the 65536 pairs: is it one of the marker's
};

}  // namespace orfa
