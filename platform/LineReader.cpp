#include "platform/LineReader.h"

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

bool LineReader::ReadLine(std::string& line, uint32_t* error) {
  line.clear();
  uint32_t err = 0;
  if (!Fill(&err)) {
    if (error) *error = err;
    return false;
  }
  for (;;) {
    if (!Fill(&err)) {
      if (err) {
        if (error) *error = err;
        return false;
      }
      return true;  // the last line, without a break
    }
    char c = buffer_[pos_++];
    if (c == '\n') return true;
    // A CR never ends a line: before LF it is part of the break, anywhere
    // else it is dropped.
    if (c != '\r') line.push_back(c);
  }
}

}  // namespace orfa
