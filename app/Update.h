// The update flow, from finding the product to starting it again.
#pragma once

#include "core/SetupContext.h"

namespace orfa {

// The carried payload's identity. The build takes it from the payload file
// and hands it to the program entry; these are the sample's.
struct PayloadIdentity {
  std::string TitleKey = "accordion";
  std::string FileName = "orfm.cok";
  int32_t Version = 13;
};

// How a run ended: the step that ended it, as the flow reports it.
enum class UpdateOutcome {
  Installed,           // the payload is in place
  AlreadyInstalled,    // the installed file already held the payload: nothing written
  NewerInstalled,      // a newer file is installed: nothing written (unattended mode)
  Declined,            // the user answered No (interactive mode)
  NoProduct,           // no orfa.exe in the product folder
  NoAdminRights,       // "noright"
  LanguageFiles,       // a language file missing or broken
  FileInUse,           // the installed file stayed in use through the waits
  WriteFailed,         // the new file could not be written or put in place
  PackageDamaged,      // the own executable damaged, unreadable, or without its payload
  RegistryUnreadable,  // the user's shell folders could not be read
  LastResort,          // a failure no step caught ("Application Error")
};

UpdateOutcome RunUpdate(SetupContext& ctx);
void StartProduct(SetupContext& ctx);
// Checks that the own executable is intact; shows "badinstaller" or
// "verificationfail" and returns false when it is not.
bool VerifyOwnExecutable(SetupContext& ctx);
// The program entry's work after the platform is built: start-up, the
// payload's identity, the flow, the end. Returns the exit code: 0, or 1
// after the last-resort failure; in the unattended mode the outcome's code
// (app/Unattended.h).
// digestSlot is the executable's own digest record (see app/SelfCheck.h).
int RunProgram(Platform& platform, const std::string& digestSlot,
               const PayloadIdentity& payload = PayloadIdentity());

}  // namespace orfa
