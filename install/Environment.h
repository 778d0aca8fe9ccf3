// Where the product is installed, the system and shell folders, the
// uninstall key, and the product folder's size.
#pragma once

#include <cstdint>
#include <string>

#include "core/SetupContext.h"

namespace orfa {

bool DiscoverEnvironment(SetupContext& ctx);
// Size of a folder tree in KiB, -1 when the folder does not exist. Links and
// junctions in it (reparse points) are neither walked nor counted.
int32_t FolderSizeKb(SetupContext& ctx, const std::string& folder);

}  // namespace orfa
