// XXH3-128 over bytes fed in order, computed with the widest vector
// instructions that the processor and the system run: AVX2, else SSE2, else
// none. Every kind gives the same digest; only the speed differs (the 32-bit
// build may not assume SSE2, and on it the plain code is the slowest by far).
#pragma once

#include <cstddef>
#include <string>

#include "platform/VectorInstructions.h"

namespace orfa {

struct Xxh3Functions;  // app/Xxh3Variant.h

class Xxh3Hash {
 public:
  explicit Xxh3Hash(VectorInstructions vector = WidestVectorInstructions());
  ~Xxh3Hash();
  Xxh3Hash(const Xxh3Hash&) = delete;
  Xxh3Hash& operator=(const Xxh3Hash&) = delete;

  void Update(const void* data, size_t size);
  // The canonical (big-endian) 16 bytes of the digest of everything fed.
  std::string Digest() const;

 private:
  const Xxh3Functions* functions_;
  void* state_;
};

}  // namespace orfa
