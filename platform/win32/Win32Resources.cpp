// Resources and the path of the running executable.
#include <windows.h>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

class Win32ResourceData : public ResourceData {
 public:
  Win32ResourceData(UniqueResource resource, const uint8_t* data, size_t size, uint64_t rva)
      : resource_(std::move(resource)), data_(data), size_(size), rva_(rva) {}
  const uint8_t* Data() const override { return data_; }
  size_t Size() const override { return size_; }
  std::optional<uint64_t> Rva() const override { return rva_; }

 private:
  UniqueResource resource_;
  const uint8_t* data_;
  size_t size_;
  uint64_t rva_;
};

class Win32Resources : public Resources {
 public:
  std::unique_ptr<ResourceData> Load(const std::string& name, const std::string& type,
                                     uint32_t* error) override {
    HMODULE self = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(self, name.c_str(), type.c_str());
    if (found == nullptr) {
      *error = LastError();
      return nullptr;
    }
    UniqueResource resource(::LoadResource(self, found));
    if (!resource) {
      *error = LastError();
      return nullptr;
    }
    const void* data = ::LockResource(resource.Get());
    if (data == nullptr) {
      *error = LastError();
      return nullptr;
    }
    DWORD size = ::SizeofResource(self, found);
    *error = kErrorSuccess;
    // The module handle is the image's base address.
    const uint64_t rva = static_cast<uint64_t>(static_cast<const uint8_t*>(data) -
                                               reinterpret_cast<const uint8_t*>(self));
    return std::make_unique<Win32ResourceData>(std::move(resource),
                                               static_cast<const uint8_t*>(data), size, rva);
  }

  std::string ExecutablePath(uint32_t* error) override {
    std::string path(MAX_PATH, '\0');
    for (;;) {
      ::SetLastError(ERROR_SUCCESS);
      DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) {
        *error = LastError();
        return std::string();
      }
      // A full buffer means the path was cut short: try a larger one.
      if (length < path.size() && LastError() != ERROR_INSUFFICIENT_BUFFER) {
        path.resize(length);
        *error = kErrorSuccess;
        return path;
      }
      path.resize(path.size() * 2);
    }
  }
};

}  // namespace

std::unique_ptr<Resources> MakeResources() { return std::make_unique<Win32Resources>(); }

}  // namespace orfa::win32
