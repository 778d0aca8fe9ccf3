// The real Windows (under Wine in the tests): fixtures made with the API
// directly, in a temporary folder and under temporary registry keys.
#include <windows.h>

#include <stdexcept>
#include <utility>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Platform.h"
#include "tests/contract/World.h"

namespace orfa::contract {
namespace {

using win32::UniqueFile;
using win32::UniqueFind;
using win32::UniqueKernel;
using win32::UniqueRegKey;

constexpr const char* kKeyParent = "Software\\OrfaContract";

void Check(bool ok, const std::string& what) {
  if (!ok) {
    throw std::runtime_error(what + " failed with error " + std::to_string(::GetLastError()));
  }
}

void CheckStatus(LONG status, const std::string& what) {
  if (status != ERROR_SUCCESS) {
    throw std::runtime_error(what + " failed with error " + std::to_string(status));
  }
}

// Deletes a folder with everything in it, read-only files included.
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  UniqueFind find(::FindFirstFileA((folder + "*").c_str(), &data));
  if (find) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + "\\");
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(find.Get(), &data));
  }
  find.Reset();
  ::RemoveDirectoryA(folder.c_str());
}

using WineUnixFileNameFn = char*(__cdecl*)(const WCHAR*);

// The Unix path that Wine gives a Windows path; empty where this is no Wine.
std::string UnixName(const std::string& path) {
  auto unixFileName =
      win32::LookUp<WineUnixFileNameFn>("kernel32.dll", "wine_get_unix_file_name");
  if (unixFileName == nullptr) return std::string();
  std::wstring wide;
  for (char c : path) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  char* name = unixFileName(wide.c_str());
  if (name == nullptr) return std::string();
  std::string result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

// Runs a Unix shell command (Wine starts Unix programs too) and waits until
// `done` tells that it has had its effect: Wine gives no handle that a Unix
// process's end signals. False when it did not start or had no effect in 10 s.
bool RunUnix(const std::string& command, bool (*done)(const std::string&),
             const std::string& what) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::string line = "/bin/sh -c \"" + command + "\"";
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    return false;
  }
  UniqueKernel process(started.hProcess);
  UniqueKernel thread(started.hThread);
  for (int waited = 0; waited < 10000; waited += 10) {
    if (done(what)) return true;
    ::Sleep(10);
  }
  return false;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HKEY RootHandle(RootKey root) {
  return root == RootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

using RegDeleteTreeAFn = LONG(WINAPI*)(HKEY, LPCSTR);
using RegDeleteKeyExAFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

// Deletes root\kKeyParent\name in one view, then the parent when it is empty.
void DeleteKey(RootKey root, const std::string& name, REGSAM view) {
  auto deleteTree = win32::LookUp<RegDeleteTreeAFn>("advapi32.dll", "RegDeleteTreeA");
  auto deleteKeyEx = win32::LookUp<RegDeleteKeyExAFn>("advapi32.dll", "RegDeleteKeyExA");
  if (deleteTree == nullptr || deleteKeyEx == nullptr) return;
  UniqueRegKey parent;
  if (::RegOpenKeyExA(RootHandle(root), kKeyParent, 0, KEY_ALL_ACCESS | view, parent.Put()) !=
      ERROR_SUCCESS) {
    return;
  }
  deleteTree(parent.Get(), name.c_str());
  deleteKeyEx(parent.Get(), name.c_str(), view, 0);
  parent.Reset();
  deleteKeyEx(RootHandle(root), kKeyParent, view, 0);  // fails while others remain
}

class RealHeldOpen : public HeldOpen {
 public:
  explicit RealHeldOpen(UniqueFile file) : file_(std::move(file)) {}

 private:
  UniqueFile file_;
};

struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static void Close(HWND window) { ::DestroyWindow(window); }
};
using UniqueWindow = win32::Unique<HWND, WindowTraits>;

class RealWorld : public World {
 public:
  RealWorld() {
    DWORD size = ::GetCurrentDirectoryA(0, nullptr);
    std::string current(size, '\0');
    DWORD length = ::GetCurrentDirectoryA(size, current.data());
    current.resize(length < size ? length : 0);
    currentDirectory_ = current;
  }

  ~RealWorld() override {
    windows_.clear();
    if (!currentDirectory_.empty()) ::SetCurrentDirectoryA(currentDirectory_.c_str());
    // Deleting a Unix link through Wine deletes what it leads to, and listings
    // leave out links that lead nowhere: Unix removes those folders.
    for (const auto& folder : unixLinkFolders_) {
      RunUnix("rm -rf '" + UnixName(folder) + "'",
              [](const std::string& gone) { return !Exists(gone); }, folder);
    }
    for (const auto& folder : folders_) RemoveTree(folder);
    for (const auto& [root, name] : keys_) {
      DeleteKey(root, name, KEY_WOW64_64KEY);
      DeleteKey(root, name, KEY_WOW64_32KEY);
    }
    for (auto it = savedEnvironment_.rbegin(); it != savedEnvironment_.rend(); ++it) {
      ::SetEnvironmentVariableA(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    }
  }

  Platform& Get() override { return platform_.Get(); }

  std::string Folder() override {
    std::string temp(MAX_PATH + 1, '\0');
    DWORD length = ::GetTempPathA(static_cast<DWORD>(temp.size()), temp.data());
    Check(length > 0 && length < temp.size(), "GetTempPathA");
    temp.resize(length);
    std::string folder = temp + "orfa-contract-" + std::to_string(::GetCurrentProcessId()) + "-" +
                         std::to_string(++counter_) + "\\";
    RemoveTree(folder);  // a leftover of an earlier run
    Check(::CreateDirectoryA(folder.c_str(), nullptr) != FALSE, "CreateDirectoryA " + folder);
    folders_.push_back(folder);
    return folder;
  }

  void AddFile(const std::string& path, const std::string& bytes) override {
    UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    Check(file.Valid(), "CreateFileA " + path);
    DWORD written = 0;
    Check(::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr) != FALSE &&
              written == bytes.size(),
          "WriteFile " + path);
  }

  void AddFolder(const std::string& path) override {
    Check(::CreateDirectoryA(path.c_str(), nullptr) != FALSE, "CreateDirectoryA " + path);
  }

  void MakeReadOnly(const std::string& path) override {
    Check(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY) != FALSE,
          "SetFileAttributesA " + path);
  }

  void MakeHidden(const std::string& path) override {
    Check(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN) != FALSE,
          "SetFileAttributesA " + path);
  }

  std::optional<std::string> ReadFileBytes(const std::string& path) override {
    UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
      bytes.append(buffer, got);
    }
    return bytes;
  }

  std::unique_ptr<HeldOpen> HoldOpen(const std::string& path, uint32_t access,
                                     uint32_t share) override {
    UniqueFile file(::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    Check(file.Valid(), "CreateFileA (held) " + path);
    return std::make_unique<RealHeldOpen>(std::move(file));
  }

  bool AddFileLink(const std::string& path, const std::string& target) override {
    const std::string made = path + ".made";
    const std::string unixPath = UnixName(path);
    const std::string unixTarget = UnixName(target);
    const std::string unixMade = UnixName(made);
    if (!unixPath.empty() && !unixTarget.empty() && !unixMade.empty()) {
      // Wine: a Unix symbolic link, as any user of the machine can make one.
      unixLinkFolders_.push_back(path.substr(0, path.rfind('\\')));
      const bool linked = RunUnix("ln -s '" + unixTarget + "' '" + unixPath + "' && : > '" +
                                      unixMade + "'",
                                  &Exists, made);
      ::DeleteFileA(made.c_str());
      return linked;
    }
    using CreateSymbolicLinkAFn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    auto create = win32::LookUp<CreateSymbolicLinkAFn>("kernel32.dll", "CreateSymbolicLinkA");
    constexpr DWORD kAllowUnprivilegedCreate = 0x2;  // in developer mode
    return create != nullptr && (create(path.c_str(), target.c_str(), kAllowUnprivilegedCreate) ||
                                 create(path.c_str(), target.c_str(), 0));
  }

  bool LinksFollowedByName() override {
    static const bool followed = [this] {
      const std::string folder = Folder();
      AddFile(folder + "file.txt", "file");
      if (!AddFileLink(folder + "link.txt", folder + "file.txt")) return false;
      const auto attributes = platform_.Get().files.Attributes(folder + "link.txt");
      return attributes && (*attributes & kAttrReparsePoint) == 0;
    }();
    return followed;
  }

  std::string Key(RootKey root) override {
    std::string name = std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter_);
    DeleteKey(root, name, KEY_WOW64_64KEY);
    DeleteKey(root, name, KEY_WOW64_32KEY);
    keys_.emplace_back(root, name);
    return std::string(kKeyParent) + "\\" + name;
  }

  void SetValue(RootKey root, const std::string& path, const std::string& name, uint32_t type,
                const std::string& bytes, bool native64) override {
    UniqueRegKey key;
    CheckStatus(::RegCreateKeyExA(RootHandle(root), path.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE | (native64 ? KEY_WOW64_64KEY : 0), nullptr,
                                  key.Put(), nullptr),
                "RegCreateKeyExA " + path);
    CheckStatus(::RegSetValueExA(key.Get(), name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                "RegSetValueExA " + name);
  }

  void SetEnvironment(const std::string& name, const std::optional<std::string>& value) override {
    savedEnvironment_.emplace_back(name, Environment(name));
    Check(::SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr) != FALSE ||
              !value,
          "SetEnvironmentVariableA " + name);
  }

  bool EnforcesReadOnly() override {
    static const bool enforced = Refuses(FILE_ATTRIBUTE_READONLY, OPEN_EXISTING);
    return enforced;
  }

  bool RecordsOwners() override {
    static const bool windows = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
    return windows;
  }

  bool RefusesToRecreateHidden() override {
    static const bool refused = Refuses(FILE_ATTRIBUTE_HIDDEN, CREATE_ALWAYS);
    return refused;
  }

  WindowId AddWindow(const std::string& className) override {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className.c_str();
    ::RegisterClassA(&windowClass);  // fails harmlessly when a case made it before
    UniqueWindow window(::CreateWindowExA(0, className.c_str(), "contract", WS_OVERLAPPEDWINDOW,
                                          0, 0, 100, 100, nullptr, nullptr,
                                          ::GetModuleHandleA(nullptr), nullptr));
    Check(window.Valid(), "CreateWindowExA " + className);
    auto id = reinterpret_cast<WindowId>(window.Get());
    windows_.push_back(std::move(window));
    return id;
  }

  void RemoveWindow(WindowId window) override {
    for (auto& owned : windows_) {
      if (reinterpret_cast<WindowId>(owned.Get()) == window) owned.Reset();
    }
  }

  std::vector<uint32_t> Received(WindowId window) override {
    std::vector<uint32_t> messages;
    MSG message;
    while (::PeekMessageA(&message, reinterpret_cast<HWND>(window), 0, 0, PM_REMOVE)) {
      messages.push_back(message.message);
    }
    return messages;
  }

  void Expect(Programs) override {}

  std::string LongCommand(uint32_t ms) override {
    std::string self(MAX_PATH, '\0');
    DWORD length = ::GetModuleFileNameA(nullptr, self.data(), static_cast<DWORD>(self.size()));
    Check(length > 0 && length < self.size(), "GetModuleFileNameA");
    self.resize(length);
    return "\"" + self + "\" --orfa-sleep " + std::to_string(ms);
  }

  bool Is64BitSystem() override {
    if (sizeof(void*) == 8) return true;  // the 64-bit build of these tests
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = win32::LookUp<IsWow64ProcessFn>("kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(::GetCurrentProcess(), &wow64) && wow64;
  }

 private:
  // Tries a write open of a file with these attributes.
  bool Refuses(DWORD attributes, DWORD disposition) {
    std::string path = Folder() + "probe.txt";
    AddFile(path, "probe");
    Check(::SetFileAttributesA(path.c_str(), attributes) != FALSE, "SetFileAttributesA " + path);
    UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.Valid();
  }

  static std::optional<std::string> Environment(const std::string& name) {
    DWORD size = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::string value(size, '\0');
    DWORD length = ::GetEnvironmentVariableA(name.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
  }

  Win32Platform platform_;
  std::string currentDirectory_;
  std::vector<UniqueWindow> windows_;
  static inline int counter_ = 0;  // names stay unique across the cases of one run
  std::vector<std::string> folders_;
  std::vector<std::string> unixLinkFolders_;
  std::vector<std::pair<RootKey, std::string>> keys_;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

}  // namespace

std::unique_ptr<World> MakeRealWorld() { return std::make_unique<RealWorld>(); }

}  // namespace orfa::contract
