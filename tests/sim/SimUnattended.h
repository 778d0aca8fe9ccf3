// The simulated unattended-mode services: the error mode, the Windows
// folder (the log lives in the simulated file system), a fixed time, error
// texts, UTF-8.
#pragma once

#include <string>

#include "platform/UnattendedPort.h"

namespace orfa::sim {

class SimUnattended : public UnattendedPort {
 public:
  void SuppressSystemErrorBoxes() override { boxesSuppressed_ = true; }
  std::string SystemWindowsFolder() override { return "C:\\Windows\\"; }
  std::string ErrorText(uint32_t error) override { return "text of error " + std::to_string(error); }
  std::string LocalTime() override { return "2026-12-10 03:04:05"; }
  // ASCII as it is; every other byte becomes "?" (the real conversion is
  // the system's).
  std::string Utf8Of(const TextPiece& piece) override;

  bool BoxesSuppressed() const { return boxesSuppressed_; }

 private:
  bool boxesSuppressed_ = false;
};

}  // namespace orfa::sim
