#include "tests/sim/SimResources.h"

#include "tests/sim/SimText.h"

namespace orfa::sim {

namespace {

class SimResourceData : public ResourceData {
 public:
  SimResourceData(std::shared_ptr<const std::string> bytes, std::optional<uint64_t> rva,
                  std::shared_ptr<size_t> live)
      : bytes_(std::move(bytes)), rva_(rva), live_(std::move(live)) {
    ++*live_;
  }
  ~SimResourceData() override { --*live_; }
  const uint8_t* Data() const override { return reinterpret_cast<const uint8_t*>(bytes_->data()); }
  size_t Size() const override { return bytes_->size(); }
  std::optional<uint64_t> Rva() const override { return rva_; }

 private:
  std::shared_ptr<const std::string> bytes_;
  std::optional<uint64_t> rva_;
  std::shared_ptr<size_t> live_;
};

}  // namespace

SimResources::SimResources() = default;

void SimResources::AddResource(const std::string& name, const std::string& type, const std::string& bytes,
                               std::optional<uint64_t> rva) {
  auto data = std::make_shared<const std::string>(bytes);
  for (auto& entry : entries_) {
    if (SameNoCase(entry.name, name) && SameNoCase(entry.type, type)) {
      entry.bytes = data;
      entry.rva = rva;
      return;
    }
  }
  entries_.push_back(Entry{name, type, data, rva});
}

std::unique_ptr<ResourceData> SimResources::Load(const std::string& name, const std::string& type, uint32_t* error) {
  ++loads_;
  uint32_t code = loadError_ != 0 ? loadError_ : kErrorResourceTypeNotFound;
  if (loadError_ == 0) {
    for (const auto& entry : entries_) {
      if (!SameNoCase(entry.type, type)) continue;
      code = kErrorResourceNameNotFound;  // the type exists
      if (SameNoCase(entry.name, name)) {
        if (error) *error = kErrorSuccess;
        return std::make_unique<SimResourceData>(entry.bytes, entry.rva, live_);
      }
    }
  }
  if (error) *error = code;
  return nullptr;
}

std::string SimResources::ExecutablePath(uint32_t* error) {
  if (error) *error = pathError_;
  return pathError_ != 0 ? std::string() : executablePath_;
}

}  // namespace orfa::sim
