#include "tests/sim/SimWindows.h"

namespace orfa::sim {

SimWindows::SimWindows() : files(clock), ui(clock), processes(*this) { Build(progress); }

SimWindows::~SimWindows() = default;

void SimWindows::Build(ProgressPort& port) {
  platform_.emplace(Platform{registry, files, resources, ui, processes, system, clock, port, unattended});
}

void SimWindows::SetProgressPort(ProgressPort& port) { Build(port); }

void SimWindows::Set64BitSystem(bool on) {
  registry.Set64BitSystem(on);
  system.SetProcessorArchitecture(on ? kArchAmd64 : kArchIntel);
}

}  // namespace orfa::sim
