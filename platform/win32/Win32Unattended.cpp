// The unattended mode's system services: the error mode, the temporary
// folder, the log file and UTF-8.
#include <windows.h>

#include <cstdio>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

// GetFinalPathNameByHandleA where kernel32 has it (Vista and later).
GetFinalPathFn FinalPathFunction() {
  const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<GetFinalPathFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "GetFinalPathNameByHandleA")));
}

class Win32AppendFile : public AppendFile {
 public:
  explicit Win32AppendFile(UniqueFile handle) : handle_(std::move(handle)) {}

  uint32_t Append(const std::string& bytes) override {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    if (!::SetFilePointerEx(handle_.Get(), zero, nullptr, FILE_END)) return LastError();
    DWORD written = 0;
    if (!::WriteFile(handle_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr)) {
      return LastError();
    }
    return written == bytes.size() ? kErrorSuccess : kErrorDiskFull;
  }

  std::optional<OpenFileFacts> Facts(uint32_t* error) override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle_.Get(), &info)) {
      *error = LastError();
      return std::nullopt;
    }
    *error = kErrorSuccess;
    return OpenFileFacts{info.dwFileAttributes, info.nNumberOfLinks};
  }

  std::optional<std::string> FinalPath() override {
    const GetFinalPathFn finalPath = FinalPathFunction();
    if (finalPath == nullptr) return std::nullopt;
    std::string path(MAX_PATH, '\0');
    DWORD length = finalPath(handle_.Get(), path.data(), static_cast<DWORD>(path.size()), 0);
    if (length >= path.size()) {
      path.resize(length);
      length = finalPath(handle_.Get(), path.data(), static_cast<DWORD>(path.size()), 0);
    }
    if (length == 0 || length >= path.size()) return std::string();  // failed: matches no path
    path.resize(length);
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + path.substr(8);
    if (path.compare(0, 4, "\\\\?\\") == 0) return path.substr(4);
    return path;
  }

 private:
  UniqueFile handle_;
};

class Win32Unattended : public UnattendedPort {
 public:
  void SuppressSystemErrorBoxes() override {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  }

  std::string WindowsTempFolder() override {
    std::string folder(::GetSystemWindowsDirectoryA(nullptr, 0), '\0');
    if (folder.empty()) return std::string();
    const UINT length = ::GetSystemWindowsDirectoryA(folder.data(), static_cast<UINT>(folder.size()));
    if (length == 0 || length >= folder.size()) return std::string();
    folder.resize(length);
    if (folder.back() != '\\') folder += '\\';
    return folder + "Temp\\";
  }

  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path, uint32_t* error) override {
    constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    UniqueFile handle(::CreateFileA(path.c_str(), kAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) {
      *error = LastError();
      return nullptr;
    }
    *error = kErrorSuccess;
    return std::make_unique<Win32AppendFile>(std::move(handle));
  }

  std::string LocalTime() override {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
  }

  std::string Utf8Of(const TextPiece& piece) override {
    const std::wstring wide = ToWide(piece.text, piece.codePage);
    if (wide.empty()) return std::string();
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                          length, nullptr, nullptr);
    return utf8;
  }
};

}  // namespace

std::unique_ptr<UnattendedPort> MakeUnattended() { return std::make_unique<Win32Unattended>(); }

}  // namespace orfa::win32
