// The copy of the payload file already in the product folder: its update
// stamp, and whether it already holds exactly the payload's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/SetupContext.h"

namespace orfa {

// The update stamp of an open payload file (the byte at offset 4, less 32;
// for a "3bs" file the byte at offset 5 as it is). A file too short to hold
// it reads as a byte 0.
int32_t StampOf(File& file, bool is3bs);

// The stamp of `name` in the open folder, opened without sharing, so that it
// is read only once every other program has let go of it: up to `attempts`
// tries, with a pause of `pauseMs` after each failed one. nullopt when every
// try failed.
std::optional<int32_t> ReadStampWhenFree(SetupContext& ctx, Folder& folder, const std::string& name,
                                         bool is3bs, int attempts, uint32_t pauseMs);

// What the installed copy holds, read while sharing it with whoever has it
// open.
enum class InstalledCopy {
  Absent,     // no file of that name
  InUse,      // another program holds it without sharing it for reading
  Unreadable, // it cannot be opened or read for another reason
  Newer,      // its stamp is newer than the payload's version
  Payload,    // exactly the payload's bytes
  Other,      // anything else: an older or damaged copy, to be written
};
struct InstalledLook {
  InstalledCopy copy = InstalledCopy::Absent;
  int32_t stamp = 0;
  uint32_t error = 0;  // why it could not be read
};
// payload: the payload's bytes, or null when they cannot be had (then no
// copy counts as the payload).
InstalledLook LookAtInstalled(SetupContext& ctx, Folder& folder, const std::string& name, bool is3bs,
                              const ResourceData* payload);

}  // namespace orfa
