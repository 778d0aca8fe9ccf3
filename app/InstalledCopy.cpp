#include "app/InstalledCopy.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace orfa {
namespace {

// The comparison reads the installed file in pieces of this size.
constexpr size_t kComparePiece = 1 << 20;

// True when the open file holds exactly these bytes.
bool HoldsBytes(File& file, const ResourceData& bytes) {
  uint32_t error = 0;
  const std::optional<uint64_t> size = file.Size(&error);
  if (!size || *size != bytes.Size() || file.Seek(0) != kErrorSuccess) return false;
  std::vector<uint8_t> piece(kComparePiece);
  for (size_t done = 0; done < bytes.Size();) {
    const std::optional<size_t> got = file.Read(piece.data(), std::min(piece.size(), bytes.Size() - done), &error);
    if (!got || *got == 0 || std::memcmp(piece.data(), bytes.Data() + done, *got) != 0) return false;
    done += *got;
  }
  return true;
}

}  // namespace

int32_t StampOf(File& file, bool is3bs) {
  const size_t at = is3bs ? 5 : 4;
  uint8_t header[6] = {};
  uint32_t error = 0;
  const std::optional<size_t> got = file.Seek(0) == kErrorSuccess ? file.Read(header, at + 1, &error) : std::nullopt;
  const uint8_t stamp = got && *got > at ? header[at] : 0;
  return is3bs ? int32_t{stamp} : int32_t{stamp} - 32;
}

std::optional<int32_t> ReadStampWhenFree(SetupContext& ctx, Folder& folder, const std::string& name,
                                         bool is3bs, int attempts, uint32_t pauseMs) {
  std::unique_ptr<File> file;
  for (int attempt = 0; attempt < attempts && !file; ++attempt) {
    uint32_t error = 0;
    file = folder.Open(name, kGenericRead, kShareNone, Disposition::OpenExisting, kOpenReparsePoint, &error);
    if (!file) ctx.Os.clock.Sleep(pauseMs);
  }
  if (!file) return std::nullopt;
  return StampOf(*file, is3bs);
}

InstalledLook LookAtInstalled(SetupContext& ctx, Folder& folder, const std::string& name, bool is3bs,
                              const ResourceData* payload) {
  InstalledLook look;
  std::unique_ptr<File> file = folder.Open(name, kGenericRead, kShareRead | kShareWrite | kShareDelete,
                                           Disposition::OpenExisting, kOpenReparsePoint, &look.error);
  if (!file) {
    look.copy = look.error == kErrorFileNotFound   ? InstalledCopy::Absent
                : look.error == kErrorSharingViolation ? InstalledCopy::InUse
                                                       : InstalledCopy::Unreadable;
    return look;
  }
  look.stamp = StampOf(*file, is3bs);
  if (look.stamp > ctx.PayloadVersion) look.copy = InstalledCopy::Newer;
  else if (payload != nullptr && HoldsBytes(*file, *payload)) look.copy = InstalledCopy::Payload;
  else look.copy = InstalledCopy::Other;
  return look;
}

}  // namespace orfa
