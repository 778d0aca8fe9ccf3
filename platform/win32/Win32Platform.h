// The real Windows behind the platform seam.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace orfa {

// The arguments of a command line after the program name, split by the rules
// of the system's CommandLineToArgvW.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

class Win32Platform {
 public:
  Win32Platform();
  ~Win32Platform();
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  Platform& Get();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orfa
