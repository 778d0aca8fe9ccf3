// The finder of the digest record's marker, in each of its forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/MarkerFinder.h"
#include "app/SelfCheck.h"

namespace orfa {
namespace {

TEST(MarkerFinderTest, FindsWhatStdSearchFinds) {
  // Every place: at the start and the end of the bytes, across the places
  // its pairs are looked at, overlapping itself, cut short by the end.
  struct Row {
    std::string marker;
    std::string bytes;
  };
  std::string noise(3000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  const std::string m = kDigestMarker;
  const std::string cutShort = m.substr(0, m.size() - 1);
  std::vector<Row> rows = {
      {m, m},
      {m, cutShort},
      {m, "x" + m + m + "y"},
      {m, cutShort + m},
      {"aaaa", "aaabaaaaaa"},
      {"abab", "aababababba"},
      {"ab", "aab"},
      {"x", "abcx"},
      {"x", "abc"},
  };
  for (size_t at : {size_t{0}, size_t{1}, size_t{14}, size_t{15}, size_t{16}, size_t{29}, size_t{30},
                    size_t{1000}, noise.size() - 16}) {
    std::string planted = noise;
    planted.replace(at, m.size(), m);
    rows.push_back({m, planted});
  }
  rows.push_back({m, noise});
  // Places whose first and last bytes are the marker's but not the rest, in
  // every lane of a vector and across two vectors' seam.
  std::string lookalikes(200, m.front());
  for (size_t i = m.size() - 1; i < lookalikes.size(); i += m.size() + 1) lookalikes[i] = m.back();
  rows.push_back({m, lookalikes});
  lookalikes.replace(64 - 7, m.size(), m);
  rows.push_back({m, lookalikes});
  rows.push_back({"o2", "oooooooooooooooooooooooooooooooooooooooooooooooo2"});
  for (VectorInstructions vector : {VectorInstructions::None, VectorInstructions::Sse2, VectorInstructions::Avx2}) {
    if (!VectorInstructionsRun(vector)) continue;  // not on this processor
    for (const Row& row : rows) {
      const MarkerFinder finder(row.marker, vector);
      const auto* begin = reinterpret_cast<const uint8_t*>(row.bytes.data());
      const uint8_t* const end = begin + row.bytes.size();
      // From every starting place, as the reader of pieces asks.
      for (const uint8_t* from = begin; from <= end; ++from) {
        const uint8_t* expected = std::search(from, end, row.marker.begin(), row.marker.end());
        ASSERT_EQ(finder.Find(from, end), expected)
            << "kind " << static_cast<int>(vector) << ": " << row.marker << " in " << row.bytes.size()
            << " bytes from " << (from - begin);
      }
    }
  }
}

}  // namespace
}  // namespace orfa
