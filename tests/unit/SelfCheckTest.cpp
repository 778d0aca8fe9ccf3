// The installer's check of its own executable against the digest the build
// stamped into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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
  const std::string image = MakeExecutableImage();
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
    std::string image = MakeExecutableImage();
    const std::string slot = DigestSlotOf(image);
    image[c.offset] = static_cast<char>(image[c.offset] ^ 0x01);
    EXPECT_EQ(CheckImage(sim, image, slot), ImageCheck::Damaged) << c.what;
  }
}

TEST(SelfCheckTest, TruncatedNeverStampedOrForeignImagesAreDamaged) {
  SimWindows sim;
  const std::string image = MakeExecutableImage();
  const std::string slot = DigestSlotOf(image);
  EXPECT_EQ(CheckImage(sim, image.substr(0, 0x500), slot), ImageCheck::Damaged);
  EXPECT_EQ(CheckImage(sim, "MZ", slot), ImageCheck::Damaged);
  EXPECT_EQ(CheckImage(sim, std::string(0x600, 'x'), slot), ImageCheck::Damaged);

  const std::string unstamped = MakeExecutableImage(false);
  EXPECT_EQ(CheckImage(sim, unstamped, DigestSlotOf(unstamped)), ImageCheck::Damaged);

  // The record appears twice: the digest cannot say which one is its own.
  std::string twice = image;
  twice.replace(0x4C0, kDigestSlotSize, slot);
  EXPECT_EQ(CheckImage(sim, twice, slot), ImageCheck::Damaged);

  // The marker in the image's last 16 bytes: its digest would lie past the file.
  std::string lastBytes = image;
  lastBytes.replace(0x480, kDigestMarkerSize, std::string(kDigestMarkerSize, 'x'));
  lastBytes.replace(lastBytes.size() - kDigestMarkerSize, kDigestMarkerSize, slot.substr(0, kDigestMarkerSize));
  EXPECT_EQ(CheckImage(sim, lastBytes, slot), ImageCheck::Damaged);
  EXPECT_FALSE(DigestOfBytes(lastBytes).record);
}

TEST(SelfCheckTest, ImageReadInPiecesOfAnySizeGivesTheSameDigest) {
  // The record crosses a piece's end at every place for one size or another.
  const std::string image = MakeExecutableImage();
  const std::string whole = DigestSlotOf(image).substr(kDigestMarkerSize);
  std::string twice = image;
  twice.replace(0x4C0, kDigestSlotSize, DigestSlotOf(image));
  for (size_t chunk = 1; chunk <= 80; ++chunk) {
    SCOPED_TRACE(chunk);
    const ImageDigest digest = DigestOfBytes(image, chunk, 0x200);
    EXPECT_EQ(digest.record, std::optional<uint64_t>(0x480));
    EXPECT_EQ(digest.digest, whole);
    EXPECT_FALSE(DigestOfBytes(twice, chunk, 0x200).record);
  }

  // A payload the process holds in memory: taken from there, never read,
  // and searched as well, across its ends too (here the record's marker
  // appears a second time, astride the payload's start).
  const std::string payload = PayloadWithStamp(45, 0x300);
  const std::string carrying = MakeExecutableImage(true, payload);
  const LoadedPart loaded{kPayloadRva, reinterpret_cast<const uint8_t*>(payload.data()), payload.size()};
  const std::string marker = DigestSlotOf(carrying).substr(0, kDigestMarkerSize);
  std::string astride = payload;
  astride.replace(0, 6, marker.substr(10));
  std::string twiceAstride = carrying;
  twiceAstride.replace(kPayloadOffset - 10, 10, marker.substr(0, 10));
  const LoadedPart loadedAstride{kPayloadRva, reinterpret_cast<const uint8_t*>(astride.data()), astride.size()};
  twiceAstride.replace(kPayloadOffset, astride.size(), astride);
  for (size_t chunk = 1; chunk <= 80; ++chunk) {
    SCOPED_TRACE(chunk);
    std::vector<bool> read;
    const ImageDigest digest = DigestOfBytes(carrying, chunk, 0x200, loaded, &read);
    EXPECT_EQ(digest.record, std::optional<uint64_t>(0x480));
    EXPECT_EQ(digest.digest, DigestSlotOf(carrying).substr(kDigestMarkerSize));
    EXPECT_EQ(std::count(read.begin() + kPayloadOffset, read.end(), true), 0);
    EXPECT_EQ(std::count(read.begin(), read.begin() + kPayloadOffset, false), 0);
    EXPECT_FALSE(DigestOfBytes(twiceAstride, chunk, 0x200, loadedAstride).record);
  }

  // A payload in memory longer than the pieces it is hashed in, read in the
  // installer's own pieces: the marker astride a piece's end inside it is
  // found there too, and the digest is the one of the bytes in order.
  const std::string longPayload = PayloadWithStamp(45, 2 * kLoadedPiece + 0x300);
  const std::string longCarrying = MakeExecutableImage(true, longPayload);
  const std::string longMarker = DigestSlotOf(longCarrying).substr(0, kDigestMarkerSize);
  const LoadedPart longLoaded{kPayloadRva, reinterpret_cast<const uint8_t*>(longPayload.data()),
                              longPayload.size()};
  const ImageDigest longDigest = DigestOfBytes(longCarrying, kImageReadChunk, 4096, longLoaded);
  EXPECT_EQ(longDigest.record, std::optional<uint64_t>(0x480));
  EXPECT_EQ(longDigest.digest, DigestSlotOf(longCarrying).substr(kDigestMarkerSize));
  for (size_t cut : {size_t{1}, size_t{8}, kDigestMarkerSize - 1}) {
    SCOPED_TRACE(cut);
    std::string seam = longPayload;
    seam.replace(kLoadedPiece - cut, kDigestMarkerSize, longMarker);
    const LoadedPart seamLoaded{kPayloadRva, reinterpret_cast<const uint8_t*>(seam.data()), seam.size()};
    EXPECT_FALSE(DigestOfBytes(longCarrying, kImageReadChunk, 4096, seamLoaded).record);
  }
}

TEST(SelfCheckTest, PayloadHeldInMemoryIsCheckedThere) {
  // The bytes in memory are what the installer writes: they are what counts.
  const std::string payload = PayloadWithStamp(45, 0x300);
  const std::string image = MakeExecutableImage(true, payload);
  const std::string slot = DigestSlotOf(image);
  std::string changed = payload;
  changed[0x123] ^= 0x10;
  std::string withMarker = payload;
  withMarker.replace(0x40, kDigestMarkerSize, slot.substr(0, kDigestMarkerSize));
  std::string damagedCopy = image;
  damagedCopy[kPayloadOffset + 0x123] ^= 0x10;
  // The loader maps only VirtualSize bytes of the section's raw data.
  const std::string mappedShort = MakeExecutableImage(true, payload, 0x100);
  struct Row {
    const char* what;
    std::string file;
    std::string memory;
    uint64_t rva;
    ImageCheck expected;
  };
  const Row rows[] = {
      {"the payload in memory as stamped", image, payload, kPayloadRva, ImageCheck::Intact},
      {"a byte of it changed in memory", image, changed, kPayloadRva, ImageCheck::Damaged},
      {"the marker in it once more", image, withMarker, kPayloadRva, ImageCheck::Damaged},
      {"its copy in the file damaged, not read", damagedCopy, payload, kPayloadRva, ImageCheck::Intact},
      // Places that no section's raw data holds whole: the file is read.
      {"in no section", damagedCopy, payload, 0x9000, ImageCheck::Damaged},
      {"past the section's end", damagedCopy, payload, kPayloadRva + 1, ImageCheck::Damaged},
      {"in no section, file intact", image, changed, 0x9000, ImageCheck::Intact},
      {"past the section's VirtualSize, file intact", mappedShort, changed, kPayloadRva, ImageCheck::Intact},
      // The sample's code section lies at 0 in the image: read on after it.
      {"a part in the middle", image, image.substr(0x200, 0x100), 0, ImageCheck::Intact},
  };
  for (const Row& row : rows) {
    SimWindows sim;
    sim.files.AddFile(kExecutable, row.file);
    SetupContext ctx(sim.Get());
    const LoadedPart loaded{row.rva, reinterpret_cast<const uint8_t*>(row.memory.data()), row.memory.size()};
    EXPECT_EQ(CheckExecutableImage(ctx, kExecutable, DigestSlotOf(row.file), loaded), row.expected) << row.what;
    EXPECT_EQ(sim.files.LogicHandleCount(), 0u) << row.what;
  }

  // A file that cannot be read on after the part in memory cannot be checked.
  const std::string middle = image.substr(0x200, 0x100);
  size_t at = 0;
  const ImageDigest stuck = DigestOfImageFile(
      [&](uint8_t* buffer, size_t size) -> std::optional<size_t> {
        const size_t n = std::min(size, image.size() - at);
        std::copy_n(image.data() + at, n, buffer);
        at += n;
        return n;
      },
      image.size(), slot.substr(0, kDigestMarkerSize), 0x100, 0x200,
      LoadedPart{0, reinterpret_cast<const uint8_t*>(middle.data()), middle.size()},
      [](uint64_t) { return false; });
  EXPECT_TRUE(stuck.readFailed);
}

TEST(SelfCheckTest, DigestIsXxh3Of128BitsWithTheLeftOutBytesAsZeros) {
  // The digests tools/stamp_digest.py stamps (python3-xxhash): the sample
  // image, and one whose record lies in the optional header, its digest
  // bytes over the CheckSum's last two: bytes zeroed twice count once.
  std::string overlapping = MakeExecutableImage(false);
  overlapping.replace(0x480, kDigestMarkerSize, std::string(kDigestMarkerSize, 'x'));
  overlapping.replace(0x58 + 64 + 2 - kDigestMarkerSize, kDigestMarkerSize, kDigestMarker);
  struct Row {
    std::string image;
    std::string digest;
  };
  const Row rows[] = {
      {MakeExecutableImage(false), std::string("\x29\x71\xd0\xaf\x38\x51\xce\x17\xbe\x7f\xb3\x9e\xc9\x1f\x2c\x60", 16)},
      {overlapping, std::string("\xdc\x3c\x0d\x8a\x02\x2d\xff\x02\x21\x03\x1e\x86\xe1\x1d\x02\x9e", 16)},
  };
  for (const Row& row : rows) EXPECT_EQ(DigestOfBytes(row.image).digest, row.digest);
}

TEST(SelfCheckTest, UnreadableExecutableIsUnreadable) {
  SimWindows sim;
  const std::string image = MakeExecutableImage();
  const std::string slot = DigestSlotOf(image);
  sim.files.AddFile(kExecutable, image);
  sim.files.ReadFails(kExecutable, 23);
  SetupContext ctx(sim.Get());
  EXPECT_EQ(CheckExecutableImage(ctx, kExecutable, slot), ImageCheck::Unreadable);
  EXPECT_EQ(CheckExecutableImage(ctx, "C:\\Setup\\missing.exe", slot), ImageCheck::Unreadable);
  sim.files.ReadFails(kExecutable, 0);
  EXPECT_EQ(CheckExecutableImage(ctx, kExecutable, slot), ImageCheck::Intact);
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

}  // namespace
}  // namespace orfa
