// Files, folders and version resources over kernel32, shell32 and version.dll.
#include <windows.h>
#include <shellapi.h>
#include <winternl.h>
#include <aclapi.h>
#include <sddl.h>

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
using NtCreateFileFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                    LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
// NtCreateFile's dispositions and options, as CreateFile passes them.
constexpr ULONG kNtOpen = 1;
constexpr ULONG kNtCreate = 2;
constexpr ULONG kNtOpenIf = 3;
constexpr ULONG kNtOverwriteIf = 5;
constexpr ULONG kNtSynchronousIo = 0x20;
constexpr ULONG kNtNonDirectoryFile = 0x40;
constexpr ULONG kNtOpenReparsePoint = 0x00200000;
constexpr ULONG kObjCaseInsensitive = 0x40;
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

// A name within a folder: one name, never a path or a step out of it.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/:") == std::string::npos;
}

// The name of an open file or folder within its volume ("\\Orfa\\orfm.cok");
// empty when the system gives none.
std::wstring NameInVolume(HANDLE handle) {
  const auto query = LookUp<NtQueryInformationFileFn>("ntdll.dll", "NtQueryInformationFile");
  if (query == nullptr) return std::wstring();
  std::vector<unsigned char> block(offsetof(NameInformation, FileName) + 512 * sizeof(WCHAR));
  for (;;) {
    auto* name = reinterpret_cast<NameInformation*>(block.data());
    IO_STATUS_BLOCK status{};
    const LONG result = query(handle, &status, name, static_cast<ULONG>(block.size()), kFileNameInformation);
    const size_t room = block.size() - offsetof(NameInformation, FileName);
    if (result >= 0 && name->FileNameLength <= room)
      return std::wstring(name->FileName, name->FileNameLength / sizeof(WCHAR));
    // STATUS_BUFFER_OVERFLOW: the head tells the whole length.
    if (static_cast<ULONG>(result) != 0x80000005UL || name->FileNameLength <= room) return std::wstring();
    block.resize(offsetof(NameInformation, FileName) + name->FileNameLength);
  }
}

class Win32Folder : public Folder {
 public:
  explicit Win32Folder(UniqueFile handle) : handle_(std::move(handle)) {}
  HANDLE Get() const { return handle_.Get(); }

  std::unique_ptr<File> Open(const std::string& name, uint32_t access, uint32_t share,
                             Disposition disposition, uint32_t flags, uint32_t* error) override;

 private:
  UniqueFile handle_;
};

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

  bool NamedIn(Folder& folder, const std::string& name) override {
    auto* in = dynamic_cast<Win32Folder*>(&folder);
    if (in == nullptr || !IsPlainName(name)) return false;
    std::wstring expected = NameInVolume(in->Get());
    if (expected.empty()) return false;
    if (expected.back() != L'\\') expected += L'\\';
    expected += ToWide(name, kCodePageAnsi);
    const std::wstring actual = NameInVolume(handle_.Get());
    return !actual.empty() &&
           ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, actual.data(), static_cast<int>(actual.size()),
                            expected.data(), static_cast<int>(expected.size())) == CSTR_EQUAL;
  }

  bool OwnedByAdministrators() override {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle_.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                          nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
      return false;
    }
    const bool administrators = owner != nullptr && (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                                     ::IsWellKnownSid(owner, WinLocalSystemSid));
    ::LocalFree(descriptor);
    return administrators;
  }

  uint32_t RenameReplacing(Folder& folder, const std::string& name) override {
    auto* into = dynamic_cast<Win32Folder*>(&folder);
    if (into == nullptr || !IsPlainName(name)) return ERROR_INVALID_NAME;
    const std::wstring wide = ToWide(name, kCodePageAnsi);
    if (wide.empty()) return ERROR_INVALID_NAME;
    // The name is resolved in the open folder itself, not by any path.
    std::vector<unsigned char> block(offsetof(RenameInformation, FileName) +
                                     (wide.size() + 1) * sizeof(WCHAR));
    auto* rename = reinterpret_cast<RenameInformation*>(block.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = into->Get();
    rename->FileNameLength = static_cast<ULONG>(wide.size() * sizeof(WCHAR));
    std::memcpy(block.data() + offsetof(RenameInformation, FileName), wide.data(),
                wide.size() * sizeof(WCHAR));
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

std::unique_ptr<File> Win32Folder::Open(const std::string& name, uint32_t access, uint32_t share,
                                        Disposition disposition, uint32_t flags, uint32_t* error) {
  const auto create = LookUp<NtCreateFileFn>("ntdll.dll", "NtCreateFile");
  const std::wstring wide = IsPlainName(name) ? ToWide(name, kCodePageAnsi) : std::wstring();
  if (wide.empty() || wide.size() * sizeof(WCHAR) > 0xFFFE) {
    *error = ERROR_INVALID_NAME;
    return nullptr;
  }
  if (create == nullptr) {
    *error = ERROR_PROC_NOT_FOUND;
    return nullptr;
  }
  ULONG how = kNtOpen;
  switch (disposition) {
    case Disposition::CreateNew: how = kNtCreate; break;
    case Disposition::CreateAlways: how = kNtOverwriteIf; break;
    case Disposition::OpenExisting: how = kNtOpen; break;
    case Disposition::OpenAlways: how = kNtOpenIf; break;
  }
  UNICODE_STRING objectName;
  objectName.Buffer = const_cast<PWSTR>(wide.c_str());
  objectName.Length = static_cast<USHORT>(wide.size() * sizeof(WCHAR));
  objectName.MaximumLength = objectName.Length;
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = handle_.Get();
  attributes.ObjectName = &objectName;
  attributes.Attributes = kObjCaseInsensitive;
  IO_STATUS_BLOCK status{};
  HANDLE opened = INVALID_HANDLE_VALUE;
  // What CreateFile asks for a file: synchronous, no folder, the attributes
  // readable.
  const ULONG options = kNtSynchronousIo | kNtNonDirectoryFile |
                        ((flags & kOpenReparsePoint) != 0 ? kNtOpenReparsePoint : 0);
  const LONG result = create(&opened, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes,
                             &status, nullptr, FILE_ATTRIBUTE_NORMAL, share, how, options, nullptr, 0);
  if (result < 0) {
    *error = ErrorOfStatus(result);
    return nullptr;
  }
  *error = kErrorSuccess;
  return std::make_unique<Win32File>(UniqueFile(opened));
}

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

  std::unique_ptr<Folder> OpenFolder(const std::string& path, uint32_t* error) override {
    // Links and junctions on the way are followed; what the handle holds is
    // the folder they led to, and stays it.
    UniqueFile handle(::CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
      *error = LastError();
      return nullptr;
    }
    // Only a folder of a file system answers with its attributes, and says
    // it is a folder.
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(handle.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      *error = ERROR_DIRECTORY;
      return nullptr;
    }
    *error = kErrorSuccess;
    return std::make_unique<Win32Folder>(std::move(handle));
  }

  uint32_t CreateAdminFolder(const std::string& path) override {
    // Owned by the Administrators group where the token may give it away
    // so; by the token's own default owner (SYSTEM's, say) where not.
    for (const char* sddl : {"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"}) {
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return LastError();
      }
      SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
      const bool made = ::CreateDirectoryA(path.c_str(), &security) != 0;
      const uint32_t error = made ? kErrorSuccess : LastError();
      ::LocalFree(descriptor);
      if (error != ERROR_INVALID_OWNER) return error;
    }
    return ERROR_INVALID_OWNER;
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
