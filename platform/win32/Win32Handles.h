// Move-only owners of Windows handles: one type per kind of handle, each
// closing its handle with the matching call when it goes out of scope.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <string>
#include <utility>

namespace orfa::win32 {

// Owns a value of type T; Traits gives the invalid value and the close call.
template <typename T, typename Traits>
class Unique {
 public:
  Unique() = default;
  explicit Unique(T value) : value_(value) {}
  ~Unique() { Reset(); }
  Unique(Unique&& other) noexcept : value_(other.Release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  T Get() const { return value_; }
  bool Valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return Valid(); }
  T Release() { return std::exchange(value_, Traits::Invalid()); }
  void Reset(T value = Traits::Invalid()) {
    T old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  // For calls that return the handle through an out-parameter.
  T* Put() {
    Reset();
    return &value_;
  }

 private:
  T value_ = Traits::Invalid();
};

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY key) { ::RegCloseKey(key); }
};
// CreateFileA and FindFirstFileA report failure with INVALID_HANDLE_VALUE.
struct FileTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
struct FindTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { ::FindClose(handle); }
};
// Kernel objects that report failure with a null handle: mappings, processes, threads.
struct KernelTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE module) { ::FreeLibrary(module); }
};
struct ResourceTraits {
  static HGLOBAL Invalid() { return nullptr; }
  static void Close(HGLOBAL resource) { ::FreeResource(resource); }
};

using UniqueRegKey = Unique<HKEY, RegKeyTraits>;
using UniqueFile = Unique<HANDLE, FileTraits>;
using UniqueFind = Unique<HANDLE, FindTraits>;
using UniqueKernel = Unique<HANDLE, KernelTraits>;
using UniqueModule = Unique<HMODULE, ModuleTraits>;
using UniqueResource = Unique<HGLOBAL, ResourceTraits>;

// One reference to a COM interface, released when it goes out of scope.
template <typename T>
class UniqueCom {
 public:
  UniqueCom() = default;
  ~UniqueCom() { Reset(); }
  UniqueCom(UniqueCom&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  UniqueCom& operator=(UniqueCom&& other) noexcept {
    if (this != &other) {
      Reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }
  UniqueCom(const UniqueCom&) = delete;
  UniqueCom& operator=(const UniqueCom&) = delete;

  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For calls that return the interface through an out-parameter.
  T** Put() {
    Reset();
    return &pointer_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  void Reset() {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }
  // The same object's interface U (QueryInterface); false when it has none.
  template <typename U>
  bool Query(const IID& iid, UniqueCom<U>& into) const {
    return pointer_ != nullptr && SUCCEEDED(pointer_->QueryInterface(iid, into.PutVoid())) &&
           static_cast<bool>(into);
  }

 private:
  T* pointer_ = nullptr;
};

// COM on this thread (single-threaded apartment) while the object lives. A
// thread that already has COM in the other model may use it but must not end it.
class ComApartment {
 public:
  ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// A function that a module may or may not export; null when it does not.
template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  FARPROC proc = ::GetProcAddress(module, name);
  // Through void(*)() so the compiler accepts the change of function type.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// The same from kernel32 (or another module already loaded), by its name.
template <typename Fn>
Fn LookUp(const char* module, const char* name) {
  return LookUp<Fn>(::GetModuleHandleA(module), name);
}

inline uint32_t LastError() { return static_cast<uint32_t>(::GetLastError()); }

// Calls getter(buffer, size) that returns the length written, or the size
// needed (NUL included) when the buffer is too small, or 0 on failure.
template <typename Getter>
std::string GrowingText(Getter getter) {
  std::string text(MAX_PATH, '\0');
  for (;;) {
    UINT length = getter(text.data(), static_cast<UINT>(text.size()));
    if (length == 0) return std::string();
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.resize(length + 1);
  }
}

}  // namespace orfa::win32
