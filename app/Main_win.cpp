// The program entry: builds the real platform and runs the installer.
#include <windows.h>

#include "app/Update.h"
#include "platform/win32/Win32Platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  orfa::Win32Platform platform;
  return orfa::RunProgram(platform.Get());
}
