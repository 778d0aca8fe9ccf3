#include "platform/Platform.h"

namespace orfa {

bool FileExists(FileSystem& fs, const std::string& path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & kAttrDirectory) == 0;
}

bool DirectoryExists(FileSystem& fs, const std::string& path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & kAttrDirectory) != 0;
}

}  // namespace orfa
