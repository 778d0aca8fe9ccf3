// The installer's check of its own executable against the digest the build
// stamped into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/SelfCheck.h"
#include "app/Xxh3.h"
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
}

// Offsets of the sample image (AppTestFixture.cpp).
constexpr size_t kCoff = 0x44;
constexpr size_t kOptional = kCoff + 20;
constexpr size_t kSectionTable = kOptional + 224;

TEST(SelfCheckTest, MalformedHeadersAreDamagedWithoutReadingOutside) {
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
    SimWindows sim;
    std::string image = MakeExecutableImage();
    const std::string slot = DigestSlotOf(image);
    for (const Field& f : c.fields) {
      for (size_t i = 0; i < f.width; ++i) image[f.offset + i] = static_cast<char>((f.value >> (8 * i)) & 0xFF);
    }
    EXPECT_EQ(CheckImage(sim, image, slot), ImageCheck::Damaged) << c.what;
  }

  // The marker in the image's last 16 bytes: its digest would lie past the file.
  SimWindows sim;
  std::string image = MakeExecutableImage();
  const std::string slot = DigestSlotOf(image);
  image.replace(0x480, kDigestMarkerSize, std::string(kDigestMarkerSize, 'x'));
  image.replace(image.size() - kDigestMarkerSize, kDigestMarkerSize, slot.substr(0, kDigestMarkerSize));
  EXPECT_EQ(CheckImage(sim, image, slot), ImageCheck::Damaged);
  EXPECT_FALSE(DigestOfBytes(image).record);
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
      // The sample's code section lies at 0 in the image: read on after it.
      {"a part in the middle", image, image.substr(0x200, 0x100), 0, ImageCheck::Intact},
  };
  for (const Row& row : rows) {
    SimWindows sim;
    sim.files.AddFile(kExecutable, row.file);
    SetupContext ctx(sim.Get());
    const LoadedPart loaded{row.rva, reinterpret_cast<const uint8_t*>(row.memory.data()), row.memory.size()};
    EXPECT_EQ(CheckExecutableImage(ctx, kExecutable, slot, loaded), row.expected) << row.what;
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
  // The values python3-xxhash gives, as tools/stamp_digest.py stamps them.
  const std::string text = "abcdef";
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  EXPECT_EQ(DigestOfImage(bytes, ImageLayout{3, {}}),
            std::string("\x06\xb0\x5a\xb6\x73\x3a\x61\x85\x78\xaf\x5f\x94\x89\x2f\x39\x50", 16));
  // Overlapping ranges count once: "ab\0\0\0f".
  EXPECT_EQ(DigestOfImage(bytes, ImageLayout{6, {{2, 2}, {3, 2}}}),
            std::string("\x4c\x6b\x26\xe2\x50\x24\x34\x50\x56\x64\x04\xbc\xfa\xfe\x8b\xaa", 16));
}

TEST(SelfCheckTest, MarkerFinderFindsWhatStdSearchFinds) {
  // Every place: at the start and the end of the bytes, across the places
  // its pairs are looked at, overlapping itself, cut short by the end.
  struct Row {
    std::string marker;
    std::string bytes;
  };
  std::string noise(3000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  std::vector<Row> rows = {
      {"orfa-update-sha2", "orfa-update-sha2"},
      {"orfa-update-sha2", "orfa-update-sha"},
      {"orfa-update-sha2", "xorfa-update-sha2orfa-update-sha2y"},
      {"orfa-update-sha2", "orfa-update-shaorfa-update-sha2"},
      {"aaaa", "aaabaaaaaa"},
      {"abab", "aababababba"},
      {"ab", "aab"},
      {"x", "abcx"},
      {"x", "abc"},
  };
  for (size_t at : {size_t{0}, size_t{1}, size_t{14}, size_t{15}, size_t{16}, size_t{29}, size_t{30},
                    size_t{1000}, noise.size() - 16}) {
    std::string planted = noise;
    planted.replace(at, 16, "orfa-update-sha2");
    rows.push_back({"orfa-update-sha2", planted});
  }
  rows.push_back({"orfa-update-sha2", noise});
  // Places whose first and last bytes are the marker's but not the rest, in
  // every lane of a vector and across two vectors' seam.
  std::string lookalikes(200, 'o');
  for (size_t i = 15; i < lookalikes.size(); i += 17) lookalikes[i] = '2';
  rows.push_back({"orfa-update-sha2", lookalikes});
  lookalikes.replace(64 - 7, 16, "orfa-update-sha2");
  rows.push_back({"orfa-update-sha2", lookalikes});
  rows.push_back({"o2", "oooooooooooooooooooooooooooooooooooooooooooooooo2"});
  for (Xxh3Vector vector : {Xxh3Vector::Scalar, Xxh3Vector::Sse2, Xxh3Vector::Avx2}) {
    if (!Xxh3VectorRuns(vector)) continue;  // not on this processor
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

TEST(SelfCheckTest, EveryKindOfVectorInstructionsHashesAlike) {
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
  EXPECT_TRUE(Xxh3VectorRuns(Xxh3Vector::Scalar));
  EXPECT_TRUE(Xxh3VectorRuns(WidestXxh3Vector()));
  for (Xxh3Vector vector : {Xxh3Vector::Scalar, Xxh3Vector::Sse2, Xxh3Vector::Avx2}) {
    if (!Xxh3VectorRuns(vector)) continue;  // not on this processor
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
