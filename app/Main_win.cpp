// The program entry: builds the real platform and runs the installer.
#include <windows.h>

#include <string>

#include "app/SelfCheck.h"
#include "app/Update.h"
#include "platform/win32/Win32DllSearch.h"
#include "platform/win32/Win32Platform.h"

// The payload's identity, which the build derives from the payload file.
#if !defined(ORFA_PAYLOAD_VERSION) || !defined(ORFA_PAYLOAD_FILE_NAME) || \
    !defined(ORFA_PAYLOAD_TITLE_KEY)
#error "the build defines the payload's identity: ORFA_PAYLOAD_VERSION, _FILE_NAME, _TITLE_KEY"
#endif

// The digest record: a marker, then the image's SHA-256, which the build
// writes in after linking (tools/stamp_digest.py). Read through a volatile
// pointer so that the compiler cannot take the zeros it starts with as known.
extern "C" {
__attribute__((used)) volatile const unsigned char orfa_digest_slot[orfa::kDigestSlotSize] = {
    'o', 'r', 'f', 'a', '-', 'u', 'p', 'd', 'a', 't', 'e', '-', 's', 'h', 'a', '2'};
}

// The C runtime's own entry (MinGW), which ends in WinMain.
extern "C" int WinMainCRTStartup();

// The executable's entry (linked with -e): the DLL search is restricted before
// anything else runs, the C runtime's start-up included.
extern "C" int OrfaEntry() {
  orfa::win32::RestrictDllSearch();
  return WinMainCRTStartup();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string slot(orfa::kDigestSlotSize, '\0');
  for (size_t i = 0; i < slot.size(); ++i) slot[i] = static_cast<char>(orfa_digest_slot[i]);
  orfa::Win32Platform platform;
  orfa::PayloadIdentity payload;
  payload.TitleKey = ORFA_PAYLOAD_TITLE_KEY;
  payload.FileName = ORFA_PAYLOAD_FILE_NAME;
  payload.Version = ORFA_PAYLOAD_VERSION;
  return orfa::RunProgram(platform.Get(), slot, payload);
}
