// XXH3-128 with each kind of vector instructions, against python3-xxhash.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/Xxh3.h"

namespace orfa {
namespace {

TEST(Xxh3Test, EveryKindOfVectorInstructionsHashesAlike) {
  // Long inputs, so that the vector code runs (XXH3 hashes up to 240 bytes
  // without it); the digests python3-xxhash gives for them.
  auto pattern = [](size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(((i * 7) ^ (i >> 8)) & 0xFF);
    return bytes;
  };
  struct Row {
    std::string input;
    std::string digest;
  };
  const Row rows[] = {
      {"abc", std::string("\x06\xb0\x5a\xb6\x73\x3a\x61\x85\x78\xaf\x5f\x94\x89\x2f\x39\x50", 16)},
      {pattern(2049), std::string("\x54\x93\xc0\x61\xed\xcc\x36\x26\xdf\x99\xc8\x19\x79\xdf\x1f\x56", 16)},
      {pattern((1 << 20) + 13),
       std::string("\xf3\xee\xa2\xc9\xae\x7c\x23\x0e\xe1\xdf\xa4\xe1\x30\x39\x1d\x34", 16)},
  };
  EXPECT_TRUE(VectorInstructionsRun(VectorInstructions::None));
  EXPECT_TRUE(VectorInstructionsRun(WidestVectorInstructions()));
  for (VectorInstructions vector : {VectorInstructions::None, VectorInstructions::Sse2, VectorInstructions::Avx2}) {
    if (!VectorInstructionsRun(vector)) continue;  // not on this processor
    for (const Row& row : rows) {
      for (size_t piece : {row.input.size(), size_t{1}, size_t{63}, size_t{256}, size_t{4097}}) {
        Xxh3Hash hash(vector);
        for (size_t at = 0; at < row.input.size(); at += piece) {
          hash.Update(row.input.data() + at, std::min(piece, row.input.size() - at));
        }
        EXPECT_EQ(hash.Digest(), row.digest)
            << "kind " << static_cast<int>(vector) << ", " << row.input.size() << " bytes in pieces of " << piece;
      }
    }
  }
}

}  // namespace
}  // namespace orfa
