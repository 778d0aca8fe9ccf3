#include "app/ImageLayout.h"

#include <algorithm>

namespace orfa {
namespace {

// A little-endian field; the caller has checked that it lies inside the file.
uint32_t ReadLe(const uint8_t* data, uint64_t offset, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(data[offset + i]) << (8 * i);
  return value;
}

}  // namespace

std::optional<ImageLayout> LayoutOfHeaders(const uint8_t* head, size_t headSize, uint64_t fileSize) {
  const uint64_t size = std::min<uint64_t>(headSize, fileSize);
  if (size < 0x40 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
  const uint64_t pe = ReadLe(head, 0x3C, 4);
  if (!RangeInside(pe, 24, size) || ReadLe(head, pe, 4) != 0x00004550) return std::nullopt;
  const uint64_t coff = pe + 4;
  const uint64_t sections = ReadLe(head, coff + 2, 2);
  const uint64_t optionalSize = ReadLe(head, coff + 16, 2);
  const uint64_t optional = coff + 20;
  if (!RangeInside(optional, 2, size)) return std::nullopt;
  // The certificate table's directory entry: PE32 and PE32+ (the 64-bit
  // build the benchmark measures beside the shipped one) differ there.
  const uint64_t magic = ReadLe(head, optional, 2);
  const uint64_t certificateEntry = magic == 0x10B ? 128 : magic == 0x20B ? 144 : 0;
  if (certificateEntry == 0 || optionalSize < certificateEntry + 8 ||
      !RangeInside(optional, optionalSize, size)) {
    return std::nullopt;
  }
  const uint64_t table = optional + optionalSize;
  if (sections == 0 || !RangeInside(table, sections * 40, size)) return std::nullopt;

  ImageLayout layout;
  for (uint64_t i = 0; i < sections; ++i) {
    const uint64_t header = table + i * 40;
    const uint64_t rawSize = ReadLe(head, header + 16, 4);
    const uint64_t rawPointer = ReadLe(head, header + 20, 4);
    const uint64_t virtualSize = ReadLe(head, header + 8, 4);
    if (rawSize != 0) layout.imageEnd = std::max(layout.imageEnd, rawPointer + rawSize);
    layout.sections.push_back({ReadLe(head, header + 12, 4), rawPointer,
                               virtualSize == 0 ? rawSize : std::min(virtualSize, rawSize)});
  }
  // A truncated file, or one whose sections end before its own headers.
  if (layout.imageEnd > fileSize || layout.imageEnd < table + sections * 40) return std::nullopt;
  layout.zeroed = {{optional + 64, 4},                 // CheckSum
                   {optional + certificateEntry, 8}};  // certificate table entry
  return layout;
}

std::optional<uint64_t> FileOffsetOf(const ImageLayout& layout, uint64_t rva, uint64_t size) {
  for (const ImageSection& section : layout.sections) {
    if (rva >= section.virtualAddress && RangeInside(rva - section.virtualAddress, size, section.mappedSize)) {
      return section.rawPointer + (rva - section.virtualAddress);
    }
  }
  return std::nullopt;
}

}  // namespace orfa
