// The program entry: builds the real platform and runs the installer.
#include <windows.h>

#include <string>

#include "app/SelfCheck.h"
#include "app/Update.h"
#include "platform/win32/Win32Platform.h"

static_assert(ORFA_PAYLOAD_VERSION == orfa::kPayloadVersion,
              "the build checks the payload against the version the installer carries");

// The digest record: a marker, then the image's XXH3-128 digest, which the build
// writes in after linking (tools/stamp_digest.py). Read through a volatile
// pointer so that the compiler cannot take the zeros it starts with as known.
extern "C" {
__attribute__((used)) volatile const unsigned char orfa_digest_slot[orfa::kDigestSlotSize] = {
    'o', 'r', 'f', 'a', '-', 'u', 'p', 'd', 'a', 't', 'e', '-', 's', 'h', 'a', '2'};
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string slot(orfa::kDigestSlotSize, '\0');
  for (size_t i = 0; i < slot.size(); ++i) slot[i] = static_cast<char>(orfa_digest_slot[i]);
  orfa::Win32Platform platform;
  return orfa::RunProgram(platform.Get(), slot);
}
