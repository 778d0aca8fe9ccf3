// Naming the Windows edition, and running a console command to capture
// what it prints.
#pragma once

#include <string>

#include "core/SetupContext.h"

namespace orfa {

// The system's name; sets ctx.Is64BitSystem as a side effect.
std::string BuildSystemName(SetupContext& ctx);
bool IdentifyWindows(SetupContext& ctx, std::string& Name, std::string& ServicePack);
std::string CaptureConsoleOutput(SetupContext& ctx, const std::string& command);
// From the console command "ver"'s output: the number it prints between the
// word ending in "ion" and the first dot, preceded by "Server " for servers
// and followed by a space.
std::string VersionWord(const std::string& ver, bool workstation);

}  // namespace orfa
