// Writing a resource of the own executable to a file, directly or through
// the checked replacement; the version stamps of the product's files.
#pragma once

#include <cstdint>
#include <string>

#include "core/SetupContext.h"

namespace orfa {

// How long a replacement waits for a target that another program has open:
// at most `attempts` tries at replacing it, with a pause of `pauseMs` after
// each one that was refused. By default a moment, as antivirus programs and
// indexers hold a file.
struct InUseWait {
  int attempts = 8;
  uint32_t pauseMs = 64;
};

// A file in an open folder: its name there, and its full path as messages
// show it.
struct Target {
  Folder& folder;
  std::string name;
  std::string path;
};

// Writes the resource over the target: beside it under the temporary name,
// flushed, then renamed over the target through the handle held since its
// creation, and the rename flushed; the temporary file never stays. Only a
// file that the call created itself is written, renamed or deleted: a plain
// file of its own kind left at the temporary name (by a killed run) is
// deleted through a handle, anything else there (a link, a read-only file,
// a folder, a file with other names) is left alone and the next name
// ("~~orfm.cok", up to four "~") is taken. Every name is one in the target's
// open folder, whatever its path leads to meanwhile.
// Failures are shown to the user here; the result tells the caller whether
// the new file is in place (false after an error box, and when the user kept
// the file that was there).
bool InstallResourceFile(SetupContext& ctx, const std::string& ResourceName,
                         const std::string& ResourceType, const Target& target, bool CheckVersions,
                         const InUseWait& wait = InUseWait());
// The same for a target named by its full path, whose folder it opens first.
bool InstallResourceFile(SetupContext& ctx, const std::string& ResourceName,
                         const std::string& ResourceType, const std::string& TargetPath,
                         bool CheckVersions, const InUseWait& wait = InUseWait());
// The target's path with "~" in front of its file name.
std::string TempNameFor(const std::string& path);

// The versions of a new file and of the file it would replace, as the
// question before the replacement names them.
struct VersionComparison {
  bool IsNewOlder = false;
  std::string NewVersionText;
  std::string OldVersionText;
};
// Compares by the reader of a data type: "pak", "3bs", "cok", "lng" (not for
// a target path holding "!") and "exe"; any other type compares nothing. With
// newFile, the new file's version is read through that open file.
VersionComparison CompareVersions(SetupContext& ctx, const std::string& type,
                                  const std::string& newPath, const std::string& oldPath,
                                  File* newFile = nullptr);

}  // namespace orfa
