// What the unattended mode needs of the system beyond the other ports: no
// system error box, the Windows folder, the time, Windows' texts of error
// codes and texts in UTF-8.
// Its log is a file of the file system's, opened for appending.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace orfa {

class UnattendedPort {
 public:
  virtual ~UnattendedPort() = default;
  // SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
  // SEM_NOOPENFILEERRORBOX): the system shows no box of its own for a crash
  // or a drive that is not ready.
  virtual void SuppressSystemErrorBoxes() = 0;
  // The system's own Windows folder (GetSystemWindowsDirectoryA, the same
  // for every user, also on a terminal server), with a final backslash;
  // empty when the system gives none.
  virtual std::string SystemWindowsFolder() = 0;
  // Windows' text of a system error code (FormatMessage), in the ANSI code
  // page, on one line; empty when the system has none.
  virtual std::string ErrorText(uint32_t error) = 0;
  // The local time as "YYYY-MM-DD hh:mm:ss".
  virtual std::string LocalTime() = 0;
  // The text converted from its code page to UTF-8.
  virtual std::string Utf8Of(const TextPiece& piece) = 0;
};

}  // namespace orfa
