// The executable's layout as its PE headers give it.
#include <gtest/gtest.h>

#include <vector>

#include "app/ImageLayout.h"
#include "tests/unit/AppTestFixture.h"

namespace orfa {
namespace {

using namespace apptest;

// Offsets of the sample image (AppTestFixture.cpp).
constexpr size_t kCoff = 0x44;
constexpr size_t kOptional = kCoff + 20;
constexpr size_t kSectionTable = kOptional + 224;

TEST(ImageLayoutTest, MalformedHeadersGiveNoLayoutWithoutReadingOutside) {
  struct Field {
    size_t offset;
    uint32_t value;
    size_t width;
  };
  struct Case {
    const char* what;
    std::vector<Field> fields;  // little-endian fields written over the stamped image
  };
  const Case cases[] = {
      {"PE header past the file", {{0x3C, 0xFFFFFFF0, 4}}},
      {"PE header in the last bytes", {{0x3C, 0x600 - 8, 4}}},
      {"optional header past the file", {{kCoff + 16, 0xFFFF, 2}}},
      {"section table past the file", {{kCoff + 2, 0xFFFF, 2}}},
      {"no sections", {{kCoff + 2, 0, 2}}},
      // rawPointer + rawSize wraps to 0x100 in 32 bits.
      {"section end wrapping", {{kSectionTable + 40 + 20, 0xFFFFFF00, 4}}},
      // The sections end inside the headers: CheckSum and certificate entry lie past the image.
      {"sections inside the headers",
       {{kSectionTable + 16, 0x100, 4}, {kSectionTable + 20, 0, 4}, {kSectionTable + 40 + 16, 0, 4}}},
  };
  for (const Case& c : cases) {
    std::string image = MakeExecutableImage();
    for (const Field& f : c.fields) {
      for (size_t i = 0; i < f.width; ++i) image[f.offset + i] = static_cast<char>((f.value >> (8 * i)) & 0xFF);
    }
    // An exact-size copy, so that AddressSanitizer sees any read past the file.
    const std::vector<uint8_t> file(image.begin(), image.end());
    EXPECT_FALSE(LayoutOfHeaders(file.data(), file.size(), file.size())) << c.what;
  }
}

}  // namespace
}  // namespace orfa
