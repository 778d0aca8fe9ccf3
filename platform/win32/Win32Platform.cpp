// The real Windows behind the platform seam: all the pieces in one place.
#include "platform/win32/Win32Platform.h"

#include "platform/win32/Win32Ports.h"

namespace orfa {

struct Win32Platform::Impl {
  std::unique_ptr<RegistryPort> registry = win32::MakeRegistry();
  std::unique_ptr<FileSystem> files = win32::MakeFileSystem();
  std::unique_ptr<Resources> resources = win32::MakeResources();
  std::unique_ptr<Ui> ui = win32::MakeUi();
  std::unique_ptr<Processes> processes = win32::MakeProcesses();
  std::unique_ptr<SystemInfo> system = win32::MakeSystemInfo();
  std::unique_ptr<Clock> clock = win32::MakeClock();
  std::unique_ptr<ProgressPort> progress = win32::MakeProgress();
  std::unique_ptr<UnattendedPort> unattended = win32::MakeUnattended();
  Platform platform{*registry, *files, *resources, *ui,        *processes,
                    *system,   *clock, *progress,  *unattended};
};

Win32Platform::Win32Platform() : impl_(std::make_unique<Impl>()) {}
Win32Platform::~Win32Platform() = default;

Platform& Win32Platform::Get() { return impl_->platform; }

}  // namespace orfa
