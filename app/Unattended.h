// The unattended mode (first word "unattended"): the quiet flow for
// deployment tools, with no window of any kind. Every text a box would have
// shown goes to a log instead, and the exit code tells how the run ended.
//
// Exit codes of the unattended mode (the interactive and "modest" modes
// always end with 0, or 1 after the last-resort failure):
//
//   Code  Outcome
//      0  installed
//      1  a failure nobody caught: the "Application Error" text is in the log
//     10  the product is not installed (no orfa.exe in its folder)
//     11  no administrator rights
//     12  the product's language files are missing or broken
//     13  the product is still running, or its file in use, after the waits
//     14  the file could not be written (disk full, read-only, access denied)
//     15  the update's own executable is damaged or cannot be read
//     16  the registry cannot be read (the user's shell folders)
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

int ExitCodeOf(UpdateOutcome outcome);
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
  // Opens "log=PATH" as given, or else orfa-update.log in the Windows Temp
  // folder, which neither the user's environment nor the user's programs
  // can move elsewhere (SYSTEM's own temporary folder).
  UnattendedLog(UnattendedPort& port, FileSystem& files, const std::vector<std::string>& arguments);
  bool IsOpen() const { return file_ != nullptr; }
  void Start(const PayloadIdentity& payload, const std::vector<std::string>& arguments);
  // One line: the time, then the pieces, each converted from its code page.
  void Event(const CodedText& text);
  void End(UpdateOutcome outcome, int exitCode);

 private:
  UnattendedPort& port_;
  std::unique_ptr<File> file_;
};

// Opens the log file at `path`. A file the administrator named is taken as
// it is, but never through a link at its last name; one in the Windows Temp
// folder, where every user may create files and hard links, only when it is
// a plain file with a single name whose final path is the path asked for.
std::unique_ptr<File> OpenLogFile(FileSystem& files, const std::string& path,
                                  bool namedByAdministrator);

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
