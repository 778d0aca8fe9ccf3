// What the unattended mode needs of the system beyond the other ports: no
// system error box, the Windows Temp folder, a log file opened for
// appending, the time and texts in UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace orfa {

// What the system says of an open file, by its handle
// (GetFileInformationByHandle).
struct OpenFileFacts {
  uint32_t attributes = 0;
  uint32_t links = 0;  // the number of names the file has
};

// A log file open for appending; closes itself when destroyed.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Appends the bytes at the file's end in one write; the system's error code.
  virtual uint32_t Append(const std::string& bytes) = 0;
  virtual std::optional<OpenFileFacts> Facts(uint32_t* error) = 0;
  // The file's full path as the system resolved it, links and junctions in
  // its folders followed, without the "\\?\" prefix (GetFinalPathNameByHandleA,
  // looked up at run time); nullopt where the system does not offer it, an
  // empty text when the call fails.
  virtual std::optional<std::string> FinalPath() = 0;
};

class UnattendedPort {
 public:
  virtual ~UnattendedPort() = default;
  // SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
  // SEM_NOOPENFILEERRORBOX): the system shows no box of its own for a crash
  // or a drive that is not ready.
  virtual void SuppressSystemErrorBoxes() = 0;
  // The Windows folder's "Temp" (GetSystemWindowsDirectoryA), with a final
  // backslash; empty when the system gives none. Not the account's own
  // temporary folder: the user's environment names that one, and any
  // program the user runs may put links into it.
  virtual std::string WindowsTempFolder() = 0;
  // Opens the file for appending, creating it when missing, shared with
  // readers and with another run appending; a link at its last name is
  // opened itself, never followed (FILE_FLAG_OPEN_REPARSE_POINT). Null with
  // *error when it cannot.
  virtual std::unique_ptr<AppendFile> OpenForAppend(const std::string& path,
                                                    uint32_t* error) = 0;
  // The local time as "YYYY-MM-DD hh:mm:ss".
  virtual std::string LocalTime() = 0;
  // The text converted from its code page to UTF-8.
  virtual std::string Utf8Of(const TextPiece& piece) = 0;
};

}  // namespace orfa
