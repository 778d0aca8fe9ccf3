// The executable's layout as its PE headers give it: its sections, where
// the loader places each one's raw data in the image and where that lies in
// the file, where the image ends, and the header fields that signing
// changes. Every offset and bound is 64-bit, so no field from the file can
// wrap one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace orfa {

// A section as its header gives it: where the loader places it in the image
// (counted from the image's base), where its raw data lies in the file, and
// how many of those bytes the loader maps: the smaller of VirtualSize and
// SizeOfRawData (SizeOfRawData when VirtualSize is 0).
struct ImageSection {
  uint64_t virtualAddress = 0;
  uint64_t rawPointer = 0;
  uint64_t mappedSize = 0;
};

// Where the image's bytes lie and which bytes count as zero. Every range
// lies inside [0, imageEnd) and imageEnd inside the file; `zeroed` is sorted
// by offset and may overlap.
struct ImageLayout {
  uint64_t imageEnd = 0;                              // end of the last section's raw data
  std::vector<std::pair<uint64_t, uint64_t>> zeroed;  // offset, length
  std::vector<ImageSection> sections = {};            // as the headers list them
};

// Whether [offset, offset + length) lies inside [0, size).
inline bool RangeInside(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

// The layout the PE headers give, with the CheckSum and the
// certificate-table entry zeroed, from the file's first `headSize` bytes of
// `fileSize`; nullopt unless they hold the whole headers of a PE32 or PE32+
// image that ends inside the file.
std::optional<ImageLayout> LayoutOfHeaders(const uint8_t* head, size_t headSize, uint64_t fileSize);

// Where the loaded image's bytes [rva, rva + size) lie in the file: in the
// bytes the loader maps from a section's raw data, else nullopt (bytes the
// loader made, not read).
std::optional<uint64_t> FileOffsetOf(const ImageLayout& layout, uint64_t rva, uint64_t size);

}  // namespace orfa
