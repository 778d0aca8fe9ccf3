#include "core/Registry.h"

#include "platform/Failure.h"

namespace orfa {

Registry::Registry(RegistryPort& port, uint32_t access) : port_(port), access_(access) {}

void Registry::SelectRoot(RootKey root) {
  if (root != root_) CloseKey();
  root_ = root;
}

bool Registry::OpenKey(const std::string& path, bool create) {
  uint32_t error = 0;
  auto key = port_.Open(root_, path, access_, create, &error);
  if (!key) {
    CloseKey();
    return false;
  }
  CloseKey();
  key_ = std::move(key);
  keyPath_ = path;
  return true;
}

bool Registry::ValueExists(const std::string& name) {
  if (!key_) return false;
  uint32_t error = 0;
  return key_->Query(name, &error).has_value();
}

std::string Registry::ReadString(const std::string& name) {
  if (!key_) return std::string();
  uint32_t error = 0;
  auto value = key_->Query(name, &error);
  if (!value) return std::string();
  if (value->type != kRegSz && value->type != kRegExpandSz) {
    throw RegistryFailure("Invalid data type for '" + name + "'", kErrorInvalidParameter);
  }
  const std::string& data = value->data;
  return data.substr(0, data.find('\0'));
}

void Registry::WriteInteger(const std::string& name, int32_t value) {
  if (!key_) throw RegistryFailure("Failed to set data for '" + name + "'", kErrorInvalidHandle);
  uint32_t error = key_->SetDword(name, static_cast<uint32_t>(value));
  written_ = true;
  if (error != kErrorSuccess) {
    throw RegistryFailure("Failed to set data for '" + name + "'", error);
  }
}

void Registry::CloseKey() {
  // What was written reaches the disk before the key is let go.
  if (key_ && written_) key_->Flush();
  written_ = false;
  key_.reset();
  keyPath_.clear();
}

}  // namespace orfa
