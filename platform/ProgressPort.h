// The window-system services the progress window needs. Its own thread and
// window live behind this seam; the logic of showing, hiding and placing the
// window is portable (ui/ProgressWindow.*).
#pragma once

namespace orfa {

class ProgressPort {
 public:
  virtual ~ProgressPort() = default;
  // Defined together with the progress window.
};

}  // namespace orfa
