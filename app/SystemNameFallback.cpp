// Stands in for the edition naming until it is built: the system counts as
// unknown, so Is64BitSystem stays false and the registry keeps the plain view.
#include "sysinfo/SystemName.h"

namespace orfa {

std::string BuildSystemName(SetupContext&) { return "unknown"; }

}  // namespace orfa
