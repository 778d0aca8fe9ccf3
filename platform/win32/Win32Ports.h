// The pieces of the Windows platform, each behind one interface of the seam.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/ProgressPort.h"
#include "platform/UnattendedPort.h"

namespace orfa::win32 {

std::unique_ptr<RegistryPort> MakeRegistry();
std::unique_ptr<FileSystem> MakeFileSystem();
std::unique_ptr<Resources> MakeResources();
std::unique_ptr<Ui> MakeUi();
std::unique_ptr<Processes> MakeProcesses();
std::unique_ptr<SystemInfo> MakeSystemInfo();
std::unique_ptr<Clock> MakeClock();
// The progress window's thread, window class, windows and message loop.
std::unique_ptr<ProgressPort> MakeProgress();
std::unique_ptr<UnattendedPort> MakeUnattended();

// A text in UTF-16, converted from its code page, or from the ANSI code page
// when that one is not installed; empty when neither converts it.
std::wstring ToWide(const std::string& text, uint32_t codePage);

// Processes::ShellExecuteAsDesktopUser.
bool ShellExecuteThroughDesktop(const std::string& verb, const std::string& file,
                                const std::string& parameters, const std::string& directory,
                                int show);

}  // namespace orfa::win32
