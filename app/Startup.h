// The start-up and end routines of the run's shared record.
#pragma once

#include "core/SetupContext.h"

namespace orfa {

// Start-up: reads the locale, names the system (which
// sets Is64BitSystem), creates the Registry and takes the command word.
void InitSetupContext(SetupContext& ctx);
// Destroys the Registry (closing an open key) and releases the texts.
void FreeSetupContext(SetupContext& ctx);

}  // namespace orfa
