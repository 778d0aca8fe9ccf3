#include "app/SelfCheck.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/ImageLayout.h"
#include "app/MarkerFinder.h"
#include "app/Xxh3.h"

namespace orfa {
namespace {

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
    if (!RangeInside(at, marker_.size() + kDigestSize, layout_.imageEnd)) return false;
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
