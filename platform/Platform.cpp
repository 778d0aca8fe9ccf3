#include "platform/Platform.h"

namespace orfa {

bool FileExists(FileSystem& fs, const std::string& path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & kAttrDirectory) == 0;
}

bool FileExistsIn(Folder& folder, const std::string& name, uint32_t* error) {
  uint32_t code = 0;
  std::unique_ptr<File> file = folder.Open(name, kReadAttributes, kShareRead | kShareWrite | kShareDelete,
                                           Disposition::OpenExisting, 0, &code);
  const std::optional<uint32_t> attributes = file ? file->Attributes(&code) : std::nullopt;
  if (error != nullptr) *error = code;
  return attributes && (*attributes & kAttrDirectory) == 0;
}

bool DirectoryExists(FileSystem& fs, const std::string& path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & kAttrDirectory) != 0;
}

}  // namespace orfa
