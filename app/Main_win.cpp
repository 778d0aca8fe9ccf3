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

// The digest record: the marker, then the image's XXH3-128 digest, which the
// build writes in after linking (tools/stamp_digest.py).
struct DigestRecord {
  unsigned char bytes[orfa::kDigestSlotSize];
};

// The record as linked: the marker, then zeros where the digest goes.
constexpr DigestRecord UnstampedDigestRecord() {
  DigestRecord record{};
  for (size_t i = 0; i < orfa::kDigestMarkerSize; ++i) {
    record.bytes[i] = static_cast<unsigned char>(orfa::kDigestMarker[i]);
  }
  return record;
}

// Constant-initialised, so the record is in the file for the stamping tool to
// find. Read as volatile so that the compiler cannot take the zeros it starts
// with as known.
extern "C" {
__attribute__((used)) volatile const DigestRecord orfa_digest_slot = UnstampedDigestRecord();
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
  for (size_t i = 0; i < slot.size(); ++i) slot[i] = static_cast<char>(orfa_digest_slot.bytes[i]);
  orfa::Win32Platform platform;
  orfa::PayloadIdentity payload;
  payload.TitleKey = ORFA_PAYLOAD_TITLE_KEY;
  payload.FileName = ORFA_PAYLOAD_FILE_NAME;
  payload.Version = ORFA_PAYLOAD_VERSION;
  return orfa::RunProgram(platform.Get(), slot, payload);
}
