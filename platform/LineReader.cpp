#include "platform/LineReader.h"

#include <algorithm>
#include <cstring>

namespace orfa {

bool LineReader::Fill(uint32_t* error) {
  if (pos_ < len_) return true;
  if (eof_) return false;
  uint32_t err = 0;
  auto got = file_.Read(buffer_.data(), buffer_.size(), &err);
  if (!got) {
    if (error) *error = err ? err : kErrorInvalidHandle;
    eof_ = true;
    return false;
  }
  pos_ = 0;
  len_ = *got;
  if (len_ == 0) eof_ = true;
  return len_ > 0;
}

bool LineReader::AtEnd(uint32_t* error) {
  uint32_t err = 0;
  bool more = Fill(&err);
  if (err && error) *error = err;
  return !more;
}

namespace {

// Appends what fits of bytes[0, size) to `line` up to `keep` characters,
// dropping every CR: before LF it is part of the break, anywhere else it is
// dropped and does not end the line.
void AppendKept(std::string& line, const char* bytes, size_t size, size_t keep) {
  while (size > 0 && line.size() < keep) {
    const char* cr = static_cast<const char*>(std::memchr(bytes, '\r', size));
    const size_t run = cr != nullptr ? static_cast<size_t>(cr - bytes) : size;
    line.append(bytes, std::min(run, keep - line.size()));
    if (cr == nullptr) return;
    bytes += run + 1;
    size -= run + 1;
  }
}

}  // namespace

bool LineReader::ReadLine(std::string& line, size_t keep, uint32_t* error) {
  line.clear();
  bool any = false;
  for (;;) {
    uint32_t err = 0;
    if (!Fill(&err)) {
      if (err) {
        if (error) *error = err;
        return false;
      }
      return any;  // the last line, without a break, or nothing more
    }
    any = true;
    const char* begin = buffer_.data() + pos_;
    const size_t available = len_ - pos_;
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', available));
    const size_t size = lf != nullptr ? static_cast<size_t>(lf - begin) : available;
    AppendKept(line, begin, size, keep);
    pos_ += size;
    if (lf != nullptr) {
      ++pos_;
      return true;
    }
  }
}

}  // namespace orfa
