// The installer's check of its own executable against the digest the build
// stamped into it.
#include <gtest/gtest.h>

#include "app/SelfCheck.h"
#include "tests/unit/AppTestFixture.h"

namespace orfa {
namespace {

using namespace apptest;

ImageCheck CheckImage(SimWindows& sim, const std::string& image, const std::string& slot) {
  sim.files.AddFile(kExecutable, image);
  SetupContext ctx(sim.Get());
  return CheckExecutableImage(ctx, kExecutable, slot);
}

void PutLe(std::string& data, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) data[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST(SelfCheckTest, StampedImageIsIntactAndSigningKeepsItSo) {
  SimWindows sim;
  const std::string image = MakeExecutableImage(sim);
  const std::string slot = DigestSlotOf(image);
  EXPECT_EQ(CheckImage(sim, image, slot), ImageCheck::Intact);

  // What Authenticode signing changes: the checksum, the certificate-table
  // entry, and a certificate table appended after the last section.
  std::string signedImage = image + std::string(0x300, '\x30');
  const size_t optional = 0x40 + 4 + 20;
  PutLe(signedImage, optional + 64, 0xABCDEF);
  PutLe(signedImage, optional + 128, static_cast<uint32_t>(image.size()));
  PutLe(signedImage, optional + 132, 0x300);
  EXPECT_EQ(CheckImage(sim, signedImage, slot), ImageCheck::Intact);
}

TEST(SelfCheckTest, AnyOtherChangeIsDamage) {
  struct Case {
    const char* what;
    size_t offset;  // a byte flipped there
  };
  const Case cases[] = {{"DOS header", 0x10}, {"PE header", 0x44 + 8},
                        {"section table", 0x44 + 20 + 224 + 10}, {"code", 0x250},
                        {"data before the record", 0x470}, {"data after the record", 0x5F0}};
  for (const Case& c : cases) {
    SimWindows sim;
    std::string image = MakeExecutableImage(sim);
    const std::string slot = DigestSlotOf(image);
    image[c.offset] = static_cast<char>(image[c.offset] ^ 0x01);
    EXPECT_EQ(CheckImage(sim, image, slot), ImageCheck::Damaged) << c.what;
  }
}

TEST(SelfCheckTest, TruncatedNeverStampedOrForeignImagesAreDamaged) {
  SimWindows sim;
  const std::string image = MakeExecutableImage(sim);
  const std::string slot = DigestSlotOf(image);
  EXPECT_EQ(CheckImage(sim, image.substr(0, 0x500), slot), ImageCheck::Damaged);
  EXPECT_EQ(CheckImage(sim, "MZ", slot), ImageCheck::Damaged);
  EXPECT_EQ(CheckImage(sim, std::string(0x600, 'x'), slot), ImageCheck::Damaged);

  const std::string unstamped = MakeExecutableImage(sim, false);
  EXPECT_EQ(CheckImage(sim, unstamped, DigestSlotOf(unstamped)), ImageCheck::Damaged);

  // The record appears twice: the digest cannot say which one is its own.
  std::string twice = image;
  twice.replace(0x4C0, kDigestSlotSize, slot);
  EXPECT_EQ(CheckImage(sim, twice, slot), ImageCheck::Damaged);
}

TEST(SelfCheckTest, UnreadableExecutableOrMissingCryptographyIsUnreadable) {
  SimWindows sim;
  const std::string image = MakeExecutableImage(sim);
  const std::string slot = DigestSlotOf(image);
  sim.files.AddFile(kExecutable, image);
  sim.files.ReadFails(kExecutable, 23);
  SetupContext ctx(sim.Get());
  EXPECT_EQ(CheckExecutableImage(ctx, kExecutable, slot), ImageCheck::Unreadable);
  EXPECT_EQ(CheckExecutableImage(ctx, "C:\\Setup\\missing.exe", slot), ImageCheck::Unreadable);

  sim.files.ReadFails(kExecutable, 0);
  sim.crypto.Fails(kErrorInvalidParameter);
  EXPECT_EQ(CheckExecutableImage(ctx, kExecutable, slot), ImageCheck::Unreadable);
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

}  // namespace
}  // namespace orfa
