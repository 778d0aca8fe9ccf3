// Reads a text file line by line. A line ends at LF or CR LF; a CR that is
// not followed by LF is dropped and does not end the line. Lines may be of
// any length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace orfa {

class LineReader {
 public:
  explicit LineReader(File& file) : file_(file) {}

  // Reads the next line into `line` (without its break). False at the end of
  // the file (nothing more to read) or on a read error (*error set, non-zero).
  bool ReadLine(std::string& line, uint32_t* error) { return ReadLine(line, kWhole, error); }
  // The same, keeping only the first `keep` characters of the line (CRs
  // dropped); the rest of it is passed over.
  bool ReadLine(std::string& line, size_t keep, uint32_t* error);
  static constexpr size_t kWhole = static_cast<size_t>(-1);
  // True when nothing more can be read (tests the end after a line, as a
  // text file's end-of-file test does).
  bool AtEnd(uint32_t* error);

 private:
  bool Fill(uint32_t* error);

  File& file_;
  std::vector<char> buffer_ = std::vector<char>(64 * 1024);
  size_t pos_ = 0;
  size_t len_ = 0;
  bool eof_ = false;
};

}  // namespace orfa
