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

void RunUpdate(SetupContext& ctx);
void StartProduct(SetupContext& ctx);
// Checks that the own executable is intact; shows "badinstaller" or
// "verificationfail" and returns false when it is not.
bool VerifyOwnExecutable(SetupContext& ctx);
// The program entry's work after the platform is built: start-up, the
// payload's identity, the flow, the end. Returns the exit code.
// digestSlot is the executable's own digest record (see app/SelfCheck.h).
int RunProgram(Platform& platform, const std::string& digestSlot,
               const PayloadIdentity& payload = PayloadIdentity());

}  // namespace orfa
