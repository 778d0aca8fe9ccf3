// The simulated Windows that unit and contract tests run the logic against.
//
//   orfa::SimWindows sim;
//   sim.files.AddFile("C:\\Orfa\\orfa.exe", "MZ");
//   sim.registry.SetString(orfa::RootKey::LocalMachine, "Software\\...", "Name", "text");
//   sim.ui.Answer(orfa::kIdYes);
//   orfa::Platform& os = sim.Get();   // hand this to the logic
//
// Each part implements one interface of platform/Platform.h and carries the
// helpers with which tests set the scene and look at the outcome:
//   clock     SimClock       fake time, Sleep records and advances, scheduled actions
//   registry  SimRegistry    HKCU/HKLM, WOW6432Node redirection, denied keys, failing writes
//   files     SimFileSystem  files and folders, share modes, held files, links, disk full, versions,
//                            read-only mappings
//   resources SimResources   resources of the own executable, its path
//   ui        SimUi          message boxes recorded, answers scripted
//   processes SimProcesses   named mappings, windows and posted messages, shell, hidden processes
//   system    SimSystemInfo  version records, architecture, metrics, locale, environment, code pages
//   progress  SimProgressPort the progress window's window system (tests/sim/SimProgress.h)
//   unattended SimUnattended the error mode, the Windows Temp folder, the time, UTF-8
#pragma once

#include <optional>

#include "platform/Platform.h"
#include "platform/ProgressPort.h"
#include "tests/sim/SimClock.h"
#include "tests/sim/SimFileSystem.h"
#include "tests/sim/SimProcesses.h"
#include "tests/sim/SimProgress.h"
#include "tests/sim/SimRegistry.h"
#include "tests/sim/SimResources.h"
#include "tests/sim/SimSystemInfo.h"
#include "tests/sim/SimUi.h"
#include "tests/sim/SimUnattended.h"

namespace orfa::sim {

class SimWindows {
 public:
  SimWindows();
  ~SimWindows();
  SimWindows(const SimWindows&) = delete;
  SimWindows& operator=(const SimWindows&) = delete;

  // The whole seam. Its address stays the same for the life of the simulation.
  Platform& Get() { return *platform_; }
  // Plugs another progress port into the seam (keeps the address of Get()).
  void SetProgressPort(ProgressPort& port);
  // A 64-bit system: registry redirection for the 32-bit process on, native
  // processor architecture AMD64. false: a 32-bit x86 system.
  void Set64BitSystem(bool on);

  SimClock clock;
  SimRegistry registry;
  SimFileSystem files;
  SimResources resources;
  SimUi ui;
  SimProcesses processes;
  SimSystemInfo system;
  SimProgressPort progress;  // the default progress port
  SimUnattended unattended;

 private:
  void Build(ProgressPort& port);
  std::optional<Platform> platform_;
};

}  // namespace orfa::sim

// The test-facing names, also reachable from namespace orfa.
namespace orfa {
using sim::HeldFile;
using sim::MessageBoxCall;
using sim::OemConversion;
using sim::PostedMessage;
using sim::RegView;
using sim::SimWindows;
using sim::VersionTranslation;
}  // namespace orfa
