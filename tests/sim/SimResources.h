// Simulated resources of the own executable, and its path. The executable's
// file, when a test needs it, lives in the simulated file system.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace orfa::sim {

class SimResources : public Resources {
 public:
  SimResources();

  // --- the seam
  std::unique_ptr<ResourceData> Load(const std::string& name, const std::string& type, uint32_t* error) override;
  std::string ExecutablePath(uint32_t* error) override;

  // --- for tests
  // Names ignore case. With an RVA the bytes stand for those at that place of
  // the loaded image (the test lays the executable's file out to match).
  void AddResource(const std::string& name, const std::string& type, const std::string& bytes,
                   std::optional<uint64_t> rva = std::nullopt);
  void LoadFails(uint32_t error) { loadError_ = error; }  // every Load fails with it; 0 ends it
  void SetExecutablePath(const std::string& path) { executablePath_ = path; }  // default C:\Setup\orfa-update.exe
  void ExecutablePathFails(uint32_t error) { pathError_ = error; }
  size_t LiveResourceCount() const { return *live_; }  // loaded and not yet released
  size_t LoadCount() const { return loads_; }

 private:
  struct Entry {
    std::string name;
    std::string type;
    std::shared_ptr<const std::string> bytes;
    std::optional<uint64_t> rva;
  };
  std::vector<Entry> entries_;
  uint32_t loadError_ = 0;
  uint32_t pathError_ = 0;
  std::string executablePath_ = "C:\\Setup\\orfa-update.exe";
  std::shared_ptr<size_t> live_ = std::make_shared<size_t>(0);
  size_t loads_ = 0;
};

}  // namespace orfa::sim
