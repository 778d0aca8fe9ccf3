#include "app/SelfCheck.h"

#include <algorithm>
#include <cstring>

namespace orfa {
namespace {

uint32_t ReadLe(const std::vector<uint8_t>& data, size_t offset, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(data[offset + i]) << (8 * i);
  return value;
}

// The one place of `needle` in `data`, nullopt when it is absent or not unique.
std::optional<size_t> UniqueOffset(const std::vector<uint8_t>& data, size_t size,
                                   const std::string& needle) {
  auto begin = data.begin();
  auto end = begin + static_cast<std::ptrdiff_t>(std::min(size, data.size()));
  auto found = std::search(begin, end, needle.begin(), needle.end());
  if (found == end) return std::nullopt;
  auto again = std::search(found + 1, end, needle.begin(), needle.end());
  if (again != end) return std::nullopt;
  return static_cast<size_t>(found - begin);
}

std::optional<std::vector<uint8_t>> ReadWholeFile(SetupContext& ctx, const std::string& path) {
  uint32_t error = 0;
  auto file = ctx.Os.files.Open(path, kGenericRead, kShareRead | kShareDelete,
                                Disposition::OpenExisting, &error);
  if (!file) return std::nullopt;
  auto size = file->Size(&error);
  if (!size || *size > (uint64_t{1} << 31)) return std::nullopt;
  std::vector<uint8_t> data(static_cast<size_t>(*size));
  size_t done = 0;
  while (done < data.size()) {
    auto got = file->Read(data.data() + done, data.size() - done, &error);
    if (!got) return std::nullopt;
    if (*got == 0) break;
    done += *got;
  }
  data.resize(done);
  return data;
}

}  // namespace

std::optional<ImageLayout> LayoutOfImage(const std::vector<uint8_t>& file,
                                         const std::string& marker) {
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
  const size_t pe = ReadLe(file, 0x3C, 4);
  if (pe > file.size() || file.size() - pe < 24 || ReadLe(file, pe, 4) != 0x00004550) {
    return std::nullopt;
  }
  const size_t coff = pe + 4;
  const size_t sections = ReadLe(file, coff + 2, 2);
  const size_t optionalSize = ReadLe(file, coff + 16, 2);
  const size_t optional = coff + 20;
  // The certificate table's directory entry: PE32 and PE32+ (the 64-bit
  // build the Wine tests use where no 32-bit program runs) differ there.
  const size_t magic = file.size() - optional >= 2 ? ReadLe(file, optional, 2) : 0;
  const size_t certificateEntry = magic == 0x10B ? 128 : magic == 0x20B ? 144 : 0;
  if (certificateEntry == 0 || optionalSize < certificateEntry + 8 ||
      file.size() - optional < optionalSize) {
    return std::nullopt;
  }
  const size_t table = optional + optionalSize;
  if (sections == 0 || file.size() - table < sections * 40) return std::nullopt;

  ImageLayout layout;
  for (size_t i = 0; i < sections; ++i) {
    const size_t header = table + i * 40;
    const size_t rawSize = ReadLe(file, header + 16, 4);
    const size_t rawPointer = ReadLe(file, header + 20, 4);
    if (rawSize != 0) layout.imageEnd = std::max(layout.imageEnd, rawPointer + rawSize);
  }
  if (layout.imageEnd > file.size()) layout.imageEnd = file.size() + 1;  // truncated: never matches

  auto slot = UniqueOffset(file, layout.imageEnd, marker);
  if (!slot) return std::nullopt;
  layout.zeroed = {{optional + 64, 4},                      // CheckSum
                   {optional + certificateEntry, 8},        // certificate table entry
                   {*slot + kDigestMarkerSize, kDigestSize}};  // the digest itself
  return layout;
}

ImageCheck CheckExecutableImage(SetupContext& ctx, const std::string& path,
                                const std::string& slot) {
  if (slot.size() != kDigestSlotSize) return ImageCheck::Damaged;
  const std::string marker = slot.substr(0, kDigestMarkerSize);
  const std::string expected = slot.substr(kDigestMarkerSize);
  if (expected == std::string(kDigestSize, '\0')) return ImageCheck::Damaged;  // never stamped

  auto file = ReadWholeFile(ctx, path);
  if (!file) return ImageCheck::Unreadable;
  auto layout = LayoutOfImage(*file, marker);
  if (!layout || layout->imageEnd > file->size()) return ImageCheck::Damaged;

  std::vector<uint8_t>& image = *file;
  image.resize(layout->imageEnd);
  for (const auto& [offset, length] : layout->zeroed) {
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(offset), length, uint8_t{0});
  }
  uint32_t error = 0;
  auto sha = ctx.Os.crypto.NewSha256(&error);
  if (!sha || !sha->Update(image.data(), image.size())) return ImageCheck::Unreadable;
  auto digest = sha->Finish();
  if (!digest) return ImageCheck::Unreadable;
  const bool same = digest->size() == kDigestSize &&
                    std::memcmp(digest->data(), expected.data(), kDigestSize) == 0;
  return same ? ImageCheck::Intact : ImageCheck::Damaged;
}

}  // namespace orfa
