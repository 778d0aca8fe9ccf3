// Stand-in for the progress window's services until they are written; the
// build leaves this file out as soon as another Progress* source exists.
#include "platform/win32/Win32Platform.h"

namespace orfa {

std::unique_ptr<ProgressPort> MakeWin32ProgressPort() {
  return std::make_unique<ProgressPort>();
}

}  // namespace orfa
