// The run's one registry accessor: a selected root, at most one open key and
// an access mask fixed when it is made.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace orfa {

class Registry {
 public:
  Registry(RegistryPort& port, uint32_t access);
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  uint32_t Access() const { return access_; }
  RootKey Root() const { return root_; }

  // Choosing a different root closes the open key.
  void SelectRoot(RootKey root);
  // Opens root\path (creating it when asked); a successful open replaces the
  // key open before. False, with no key open, when it cannot.
  bool OpenKey(const std::string& path, bool create);
  bool HasOpenKey() const { return key_ != nullptr; }
  // True when the open key reports the value, whatever its type.
  bool ValueExists(const std::string& name);
  // The text of a string or expandable-string value, up to its first NUL; the
  // empty text for a missing value. Throws RegistryFailure for another type.
  std::string ReadString(const std::string& name);
  // Writes a REG_DWORD; throws RegistryFailure with no key open or on failure.
  void WriteInteger(const std::string& name, int32_t value);
  void CloseKey();

 private:
  RegistryPort& port_;
  uint32_t access_;
  RootKey root_ = RootKey::CurrentUser;
  std::unique_ptr<RegKey> key_;
  std::string keyPath_;
  bool written_ = false;  // the open key has been written to
};

// Closes the registry's open key when it goes out of scope.
class KeyCloser {
 public:
  explicit KeyCloser(Registry& registry) : registry_(registry) {}
  ~KeyCloser() { registry_.CloseKey(); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  Registry& registry_;
};

}  // namespace orfa
