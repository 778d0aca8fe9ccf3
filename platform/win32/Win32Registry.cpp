// The registry over advapi32.
#include <windows.h>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

HKEY RootHandle(RootKey root) {
  return root == RootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

class Win32RegKey : public RegKey {
 public:
  explicit Win32RegKey(UniqueRegKey key) : key_(std::move(key)) {}

  std::optional<RegValue> Query(const std::string& name, uint32_t* error) override {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &type, nullptr, &size);
    std::string data;
    // The value may grow between the calls: ask again with the size reported.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
      data.resize(size);
      DWORD got = size;
      status = ::RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &got);
      if (status == ERROR_SUCCESS) {
        data.resize(got);
        *error = kErrorSuccess;
        return RegValue{static_cast<uint32_t>(type), std::move(data)};
      }
      if (status == ERROR_MORE_DATA && got <= size) size = size * 2 + 16;
      else if (status == ERROR_MORE_DATA) size = got;
    }
    *error = static_cast<uint32_t>(status);
    return std::nullopt;
  }

  uint32_t SetDword(const std::string& name, uint32_t value) override {
    DWORD dword = value;
    return static_cast<uint32_t>(::RegSetValueExA(key_.Get(), name.c_str(), 0, REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(&dword),
                                                  sizeof dword));
  }

  uint32_t Flush() override { return static_cast<uint32_t>(::RegFlushKey(key_.Get())); }

 private:
  UniqueRegKey key_;
};

class Win32Registry : public RegistryPort {
 public:
  std::unique_ptr<RegKey> Open(RootKey root, const std::string& path, uint32_t access, bool create,
                               uint32_t* error) override {
    UniqueRegKey key;
    LONG status;
    if (create) {
      status = ::RegCreateKeyExA(RootHandle(root), path.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, access, nullptr, key.Put(), nullptr);
    } else {
      status = ::RegOpenKeyExA(RootHandle(root), path.c_str(), 0, access, key.Put());
    }
    *error = static_cast<uint32_t>(status);
    if (status != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32RegKey>(std::move(key));
  }
};

}  // namespace

std::unique_ptr<RegistryPort> MakeRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace orfa::win32
