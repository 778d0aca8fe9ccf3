// Files, folders and version resources over kernel32, shell32 and version.dll.
#include <windows.h>
#include <shellapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/win32/Win32DllSearch.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

DWORD CreationOf(Disposition disposition) {
  switch (disposition) {
    case Disposition::CreateNew: return CREATE_NEW;
    case Disposition::CreateAlways: return CREATE_ALWAYS;
    case Disposition::OpenExisting: return OPEN_EXISTING;
    case Disposition::OpenAlways: return OPEN_ALWAYS;
  }
  return OPEN_EXISTING;
}

constexpr size_t kMaxChunk = std::numeric_limits<DWORD>::max() / 2;

// The native calls on an open file, which every NT has: ntdll is in every
// process, so it is asked for them where it is loaded, never searched for.
using NtSetInformationFileFn = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
using NtQueryInformationFileFn = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);
constexpr ULONG kFileNameInformation = 9;
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileDispositionInformation = 13;
// The heads of FILE_RENAME_INFORMATION and FILE_NAME_INFORMATION; the name
// follows each in the same block, as long as it is.
struct RenameInformation {
  BOOLEAN ReplaceIfExists;
  HANDLE RootDirectory;
  ULONG FileNameLength;
  WCHAR FileName[1];
};
struct NameInformation {
  ULONG FileNameLength;
  WCHAR FileName[1];
};
struct DispositionInformation {
  BOOLEAN DeleteFile;
};

uint32_t ErrorOfStatus(LONG status) {
  const auto convert = LookUp<RtlNtStatusToDosErrorFn>("ntdll.dll", "RtlNtStatusToDosError");
  return convert != nullptr ? static_cast<uint32_t>(convert(status)) : kErrorInvalidParameter;
}

// Sets information of the class on the open file; the system's error code.
uint32_t SetInformation(HANDLE handle, void* information, ULONG size, ULONG type) noexcept {
  const auto set = LookUp<NtSetInformationFileFn>("ntdll.dll", "NtSetInformationFile");
  if (set == nullptr) return ERROR_PROC_NOT_FOUND;
  IO_STATUS_BLOCK status{};
  const LONG result = set(handle, &status, information, size, type);
  return result >= 0 ? kErrorSuccess : ErrorOfStatus(result);
}

// A full ANSI path "X:\\..." in UTF-16; empty when it is no such path.
std::wstring WidePath(const std::string& path) {
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return std::wstring();
  const int length =
      ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
  return wide;
}

class Win32File : public File {
 public:
  explicit Win32File(UniqueFile handle) : handle_(std::move(handle)) {}

  std::optional<size_t> Read(void* buffer, size_t size, uint32_t* error) override {
    DWORD got = 0;
    if (!::ReadFile(handle_.Get(), buffer, static_cast<DWORD>(std::min(size, kMaxChunk)), &got,
                    nullptr)) {
      *error = LastError();
      return std::nullopt;
    }
    *error = kErrorSuccess;
    return got;
  }

  uint32_t Write(const void* data, size_t size) override {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
      DWORD written = 0;
      if (!::WriteFile(handle_.Get(), bytes, static_cast<DWORD>(std::min(size, kMaxChunk)),
                       &written, nullptr)) {
        return LastError();
      }
      // A file on disk takes everything or fails; a short write means no room.
      if (written == 0) return kErrorDiskFull;
      bytes += written;
      size -= written;
    }
    return kErrorSuccess;
  }

  uint32_t Seek(uint64_t offset) override {
    if (offset > static_cast<uint64_t>(std::numeric_limits<LONGLONG>::max())) {
      return kErrorInvalidParameter;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(handle_.Get(), distance, nullptr, FILE_BEGIN)) return LastError();
    return kErrorSuccess;
  }

  std::optional<uint64_t> Size(uint32_t* error) override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_.Get(), &size)) {
      *error = LastError();
      return std::nullopt;
    }
    *error = kErrorSuccess;
    return static_cast<uint64_t>(size.QuadPart);
  }

  uint32_t Flush() override {
    return ::FlushFileBuffers(handle_.Get()) ? kErrorSuccess : LastError();
  }

  std::optional<uint32_t> Attributes(uint32_t* error) override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle_.Get(), &info)) {
      *error = LastError();
      return std::nullopt;
    }
    *error = kErrorSuccess;
    return static_cast<uint32_t>(info.dwFileAttributes);
  }

  std::optional<uint32_t> LinkCount(uint32_t* error) override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle_.Get(), &info)) {
      *error = LastError();
      return std::nullopt;
    }
    *error = kErrorSuccess;
    return static_cast<uint32_t>(info.nNumberOfLinks);
  }

  bool NamedAs(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    const auto query = LookUp<NtQueryInformationFileFn>("ntdll.dll", "NtQueryInformationFile");
    if (wide.empty() || query == nullptr) return false;
    // The name within its volume: the path without its drive. Room for a
    // name as long as the one asked about; a longer one does not fit and
    // differs anyway.
    const size_t length = wide.size() - 2;
    std::vector<unsigned char> block(offsetof(NameInformation, FileName) + (length + 1) * sizeof(WCHAR));
    auto* name = reinterpret_cast<NameInformation*>(block.data());
    IO_STATUS_BLOCK status{};
    if (query(handle_.Get(), &status, name, static_cast<ULONG>(block.size()), kFileNameInformation) < 0)
      return false;
    const size_t named = name->FileNameLength / sizeof(WCHAR);
    return named == length &&
           ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name->FileName,
                            static_cast<int>(named), wide.data() + 2,
                            static_cast<int>(length)) == CSTR_EQUAL;
  }

  uint32_t RenameReplacing(const std::string& to) override {
    const std::wstring wide = WidePath(to);
    if (wide.empty()) return kErrorInvalidParameter;
    const std::wstring name = L"\\??\\" + wide;
    std::vector<unsigned char> block(offsetof(RenameInformation, FileName) +
                                     (name.size() + 1) * sizeof(WCHAR));
    auto* rename = reinterpret_cast<RenameInformation*>(block.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<ULONG>(name.size() * sizeof(WCHAR));
    std::memcpy(block.data() + offsetof(RenameInformation, FileName), name.data(),
                name.size() * sizeof(WCHAR));
    return SetInformation(handle_.Get(), rename, static_cast<ULONG>(block.size()),
                          kFileRenameInformation);
  }

  uint32_t SetDeletePending(bool pending) noexcept override {
    DispositionInformation disposition{static_cast<BOOLEAN>(pending ? TRUE : FALSE)};
    return SetInformation(handle_.Get(), &disposition, sizeof disposition,
                          kFileDispositionInformation);
  }

 private:
  UniqueFile handle_;
};

using GetFileVersionInfoSizeAFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using GetFileVersionInfoAFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueAFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// version.dll, loaded from the system folder so that a copy lying beside the
// executable is never picked up; kept until the platform ends.
class VersionLibrary {
 public:
  bool Load() {
    if (tried_) return module_.Valid();
    tried_ = true;
    module_.Reset(LoadSystemLibrary("version.dll"));
    if (!module_) return false;
    size_ = LookUp<GetFileVersionInfoSizeAFn>(module_.Get(), "GetFileVersionInfoSizeA");
    info_ = LookUp<GetFileVersionInfoAFn>(module_.Get(), "GetFileVersionInfoA");
    query_ = LookUp<VerQueryValueAFn>(module_.Get(), "VerQueryValueA");
    if (size_ == nullptr || info_ == nullptr || query_ == nullptr) module_.Reset();
    return module_.Valid();
  }

  GetFileVersionInfoSizeAFn size_ = nullptr;
  GetFileVersionInfoAFn info_ = nullptr;
  VerQueryValueAFn query_ = nullptr;

 private:
  bool tried_ = false;
  UniqueModule module_;
};

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

// The bytes up to the first NUL, at most `available` of them.
std::string UpToNul(const char* text, size_t available) {
  return std::string(text, std::find(text, text + available, '\0'));
}

class Win32FileSystem : public FileSystem {
 public:
  using FileSystem::Open;
  std::unique_ptr<File> Open(const std::string& path, uint32_t access, uint32_t share,
                             Disposition disposition, uint32_t flags, uint32_t* error) override {
    const DWORD flagsAndAttributes =
        FILE_ATTRIBUTE_NORMAL | ((flags & kOpenReparsePoint) != 0 ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    UniqueFile handle(::CreateFileA(path.c_str(), access, share, nullptr, CreationOf(disposition),
                                    flagsAndAttributes, nullptr));
    if (!handle) {
      *error = LastError();
      return nullptr;
    }
    *error = kErrorSuccess;
    return std::make_unique<Win32File>(std::move(handle));
  }

  std::optional<uint32_t> Attributes(const std::string& path) override {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return static_cast<uint32_t>(attributes);
  }

  uint32_t SetAttributes(const std::string& path, uint32_t attributes) override {
    return ::SetFileAttributesA(path.c_str(), attributes) ? kErrorSuccess : LastError();
  }

  uint32_t Delete(const std::string& path) override {
    return ::DeleteFileA(path.c_str()) ? kErrorSuccess : LastError();
  }

  uint32_t RemoveFolder(const std::string& path) override {
    return ::RemoveDirectoryA(path.c_str()) ? kErrorSuccess : LastError();
  }

  uint32_t Move(const std::string& from, const std::string& to) override {
    return ::MoveFileA(from.c_str(), to.c_str()) ? kErrorSuccess : LastError();
  }

  uint32_t MoveReplace(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? kErrorSuccess
               : LastError();
  }

  std::vector<DirEntry> List(const std::string& pattern, uint32_t* error) override {
    std::vector<DirEntry> entries;
    WIN32_FIND_DATAA data;
    UniqueFind find(::FindFirstFileA(pattern.c_str(), &data));
    if (!find) {
      *error = LastError();
      return entries;
    }
    *error = kErrorSuccess;
    do {
      DirEntry entry;
      entry.name = UpToNul(data.cFileName, sizeof data.cFileName);
      entry.attributes = data.dwFileAttributes;
      entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      entries.push_back(std::move(entry));
    } while (::FindNextFileA(find.Get(), &data));
    uint32_t last = LastError();
    if (last != ERROR_NO_MORE_FILES) *error = last;
    return entries;
  }

  uint32_t SetCurrentDirectory(const std::string& path) override {
    return ::SetCurrentDirectoryA(path.c_str()) ? kErrorSuccess : LastError();
  }

  std::string SystemDirectory() override {
    return GrowingText([](char* buffer, UINT size) { return ::GetSystemDirectoryA(buffer, size); });
  }

  std::string WindowsDirectory() override {
    return GrowingText(
        [](char* buffer, UINT size) { return ::GetWindowsDirectoryA(buffer, size); });
  }

  bool IsProgram(const std::string& path) override {
    SHFILEINFOA info{};
    return ::SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_EXETYPE) != 0;
  }

  std::optional<std::string> VersionBlock(const std::string& path) override {
    if (!version_.Load()) return std::nullopt;
    DWORD handle = 0;
    DWORD size = version_.size_(path.c_str(), &handle);
    if (size == 0) return std::nullopt;
    std::string block(size, '\0');
    if (!version_.info_(path.c_str(), handle, size, block.data())) return std::nullopt;
    return block;
  }

  std::optional<std::string> VersionValue(const std::string& block,
                                          const std::string& subBlock) override {
    if (!version_.Load() || block.empty()) return std::nullopt;
    // VerQueryValueA may write its ANSI conversions into the block: query a copy.
    std::string copy = block;
    void* found = nullptr;
    UINT length = 0;
    if (!version_.query_(copy.data(), subBlock.c_str(), &found, &length) || found == nullptr) {
      return std::nullopt;
    }
    const char* begin = static_cast<const char*>(found);
    const char* end = copy.data() + copy.size();
    if (begin < copy.data() || begin > end) return std::nullopt;
    size_t available = static_cast<size_t>(end - begin);
    if (StartsWithNoCase(subBlock, "\\StringFileInfo")) {
      // A text: its length counts characters; it ends at its NUL.
      return UpToNul(begin, available);
    }
    return std::string(begin, std::min<size_t>(length, available));
  }

 private:
  VersionLibrary version_;
};

}  // namespace

std::unique_ptr<FileSystem> MakeFileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace orfa::win32
