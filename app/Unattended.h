// The unattended mode (first word "unattended"): the quiet flow for
// deployment tools, with no window of any kind. Every text a box would have
// shown goes to a log instead, and the exit code tells how the run ended.
//
// Exit codes of the unattended mode are Windows' own error codes, so that a
// deployment tool's console, which shows Windows' text for a code, tells the
// truth, and its default rules apply (1618 retried later, 0 a success).
// The interactive and "modest" modes always end with 0, or 1 after the
// last-resort failure.
//
//   Code  Windows' name             Outcome
//      0  ERROR_SUCCESS             installed, or already installed
//   1618  INSTALL_ALREADY_RUNNING   the product or its file still in use after the waits
//   1638  PRODUCT_VERSION           a newer orfm.cok is installed: nothing written
//   1603  INSTALL_FAILURE           a failure nobody caught ("Application Error" in the log)
//   1605  UNKNOWN_PRODUCT           the product is not installed (no orfa.exe in its folder)
//    740  ELEVATION_REQUIRED        no administrator rights
//   1610  BAD_CONFIGURATION         the product's language files are missing or broken
//   1392  FILE_CORRUPT              the update's own executable is damaged, unreadable
//                                   or without its payload
//   1010  BADKEY                    the registry cannot be read (the user's shell folders)
//   5, 19, 39, 112                  the file could not be written: the write's own code
//                                   (access denied, write-protected, disk full)
//     29  WRITE_FAULT               the file could not be written, for any other reason
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Update.h"
#include "platform/UnattendedPort.h"

namespace orfa {

constexpr char kUnattendedWord[] = "unattended";
constexpr char kLogFileName[] = "orfa-update.log";

// The exit code of an outcome; for a failed write, writeError is the
// system's error code of the failure.
int ExitCodeOf(UpdateOutcome outcome, uint32_t writeError = 0);
// What the log's end line calls the outcome.
const char* OutcomeText(UpdateOutcome outcome);

// True when the first argument is "unattended" (ASCII letters in any case).
bool IsUnattendedMode(const std::vector<std::string>& arguments);
// The path of "log=PATH" as the second argument, or as the third after
// "runapp"; nullopt when there is none.
std::optional<std::string> LogArgument(const std::vector<std::string>& arguments);

// The run's log, UTF-8, appended to one whole line at a time. A log that
// cannot be opened, or that is not a plain file of one name where it was
// asked for, is not written at all; the run goes on without it.
class UnattendedLog {
 public:
  // Opens "log=PATH" as given, or else orfa-update.log in the folder
  // "Logs\Orfa" of the Windows folder, which only administrators and SYSTEM
  // may write to: neither the user's environment nor the user's programs
  // can choose or plant it.
  UnattendedLog(UnattendedPort& port, FileSystem& files, const std::vector<std::string>& arguments);
  bool IsOpen() const { return file_ != nullptr; }
  void Start(const PayloadIdentity& payload, const std::vector<std::string>& arguments);
  // One line: the time, then the pieces, each converted from its code page.
  void Event(const CodedText& text);
  // One line of text in the ANSI code page and, where error is not 0, the
  // system's error code and Windows' text for it.
  void Note(const std::string& text, uint32_t error);
  void End(UpdateOutcome outcome, int exitCode);

 private:
  UnattendedPort& port_;
  std::unique_ptr<File> file_;
};

// Opens the log file at `path`, as an administrator named it: taken as it
// is, but never through a link at its last name.
std::unique_ptr<File> OpenLogFile(FileSystem& files, const std::string& path);
// Opens the default log in `folder`, made with only administrators' and
// SYSTEM's access when missing. A log already there is taken only when it
// is a plain file of one name owned by the Administrators group or SYSTEM.
std::unique_ptr<File> OpenDefaultLog(FileSystem& files, const std::string& folder);

// Stands in for the message boxes: records each box's caption and text in
// the log and answers it as the quiet flow needs (OK; a question, which
// that flow never asks, No).
class LogRecorder : public Ui {
 public:
  explicit LogRecorder(UnattendedLog& log) : log_(log) {}
  int MessageBox(const MessageBoxRequest& request) override;

 private:
  UnattendedLog& log_;
};

}  // namespace orfa
