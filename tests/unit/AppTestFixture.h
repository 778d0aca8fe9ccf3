// A sample Orfa installation on the simulated Windows, and an installer
// executable with a valid digest record, for the tests of the update flow.
#pragma once

#include <string>
#include <vector>

#include "app/SelfCheck.h"
#include "tests/sim/SimWindows.h"

namespace orfa::apptest {

constexpr char kProductFolder[] = "C:\\Program Files\\Orfa\\";
constexpr char kInstalledPayload[] = "C:\\Program Files\\Orfa\\orfm.cok";
constexpr char kUninstallEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orfa";
constexpr char kWowUninstallEntry[] =
    "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orfa";
constexpr char kUserKey[] = "Software\\Tovel\\Orfa";
constexpr char kExecutable[] = "C:\\Setup\\orfa-update.exe";
// Where the unattended mode writes its log unless told otherwise.
constexpr char kDefaultLog[] = "C:\\Windows\\Logs\\Orfa\\orfa-update.log";

// A payload whose update stamp is `stamp` (version + 32 for a "cok").
std::string PayloadWithStamp(int stamp, size_t size = 64);

// Where a payload carried in the sample image lies: in the loaded image, and
// in the file.
constexpr uint64_t kPayloadRva = 0x3000;
constexpr size_t kPayloadOffset = 0x600;

// A minimal PE32 image holding a digest record; with `stamped`, its digest
// is computed and written in as the build does. A `payload` is carried as a
// third section's raw data, at kPayloadRva and kPayloadOffset, with
// `payloadVirtualSize` as the section's VirtualSize.
std::string MakeExecutableImage(bool stamped = true, const std::string& payload = "",
                                uint32_t payloadVirtualSize = 0);
// The digest record the running executable carries for that image.
std::string DigestSlotOf(const std::string& image);
// The one-pass digest of an image held in memory, read in pieces of `chunk`
// bytes after a first read of `headBytes`, with `loaded` taken from memory;
// `read`, when given, gets a mark for every byte of the image read.
ImageDigest DigestOfBytes(const std::string& image, size_t chunk = kImageReadChunk,
                          size_t headBytes = 4096, const LoadedPart& loaded = {},
                          std::vector<bool>* read = nullptr);

// Lays out the product: orfa.exe, English and Russian language files, the
// native uninstall entry, the installer's executable and its payload
// resource, carried in the executable as the build carries it.
enum class Entry { Native, Wow32Only, None };
void LayOutProduct(SimWindows& sim, Entry entry = Entry::Native);

}  // namespace orfa::apptest
