// The seam between the installer's logic and Windows.
//
// Every piece of logic talks to the system only through these narrow
// interfaces. platform/win32 implements them over the real API; the tests
// use a simulated Windows (tests/sim). Texts are 8-bit strings: paths and
// registry texts are in the system's ANSI code page, message texts carry
// their code page explicitly (see MessageBoxRequest).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orfa {

// ---------------------------------------------------------------- errors

// Win32 error codes the logic looks at.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorWriteProtect = 19;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorResourceTypeNotFound = 1813;
constexpr uint32_t kErrorResourceNameNotFound = 1814;
constexpr uint32_t kErrorTimeout = 1460;

// ---------------------------------------------------------------- registry

enum class RootKey { CurrentUser, LocalMachine };

// Access masks as Windows defines them.
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kKeyWow64_64Key = 0x0100;
constexpr uint32_t kKeyWow64_32Key = 0x0200;

// Registry value types as Windows defines them.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

struct RegValue {
  uint32_t type = kRegNone;
  std::string data;  // raw bytes as stored (strings include their NUL when stored with one)
};

// One open registry key; closes itself when destroyed.
class RegKey {
 public:
  virtual ~RegKey() = default;
  // The value, or nullopt with *error set (kErrorFileNotFound when absent).
  virtual std::optional<RegValue> Query(const std::string& name, uint32_t* error) = 0;
  // Writes a REG_DWORD; returns the system's error code (0 on success).
  virtual uint32_t SetDword(const std::string& name, uint32_t value) = 0;
  virtual uint32_t Flush() = 0;
};

class RegistryPort {
 public:
  virtual ~RegistryPort() = default;
  // Opens (or, with create, creates) root\path with the given access mask.
  // Null with *error set when it cannot.
  virtual std::unique_ptr<RegKey> Open(RootKey root, const std::string& path, uint32_t access,
                                       bool create, uint32_t* error) = 0;
};

// ---------------------------------------------------------------- files

constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kShareNone = 0;
constexpr uint32_t kShareRead = 1;
constexpr uint32_t kShareWrite = 2;
constexpr uint32_t kShareDelete = 4;
// DELETE: the open file may be renamed or deleted through its handle.
constexpr uint32_t kDeleteAccess = 0x00010000u;
// FILE_READ_ATTRIBUTES: enough to ask an open file what it is.
constexpr uint32_t kReadAttributes = 0x80u;
// READ_CONTROL: the open file's owner and access may be read.
constexpr uint32_t kReadControl = 0x00020000u;
// FILE_APPEND_DATA without write access: every write lands at the file's end.
constexpr uint32_t kAppendData = 0x4u;

enum class Disposition { CreateNew, CreateAlways, OpenExisting, OpenAlways };

// Flags of an open. kOpenReparsePoint (FILE_FLAG_OPEN_REPARSE_POINT): a link
// at the last name is not followed; it is opened itself, and a create-new
// refuses it like any other file in the way.
constexpr uint32_t kOpenReparsePoint = 0x00200000;

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrReparsePoint = 0x400;

class Folder;

// One open file; closes itself when destroyed.
class File {
 public:
  virtual ~File() = default;
  // Reads up to size bytes; returns the count read (0 at the end) or nullopt with *error.
  virtual std::optional<size_t> Read(void* buffer, size_t size, uint32_t* error) = 0;
  // Writes all bytes; returns the system's error code (0 on success).
  virtual uint32_t Write(const void* data, size_t size) = 0;
  // Moves to an absolute offset; returns the system's error code.
  virtual uint32_t Seek(uint64_t offset) = 0;
  virtual std::optional<uint64_t> Size(uint32_t* error) = 0;
  // FlushFileBuffers: what was written is on the disk when it returns; the
  // system's error code.
  virtual uint32_t Flush() = 0;
  // The attributes of the open file itself (GetFileInformationByHandle), or
  // nullopt with *error.
  virtual std::optional<uint32_t> Attributes(uint32_t* error) = 0;
  // How many names the open file has (nNumberOfLinks), or nullopt with *error.
  virtual std::optional<uint32_t> LinkCount(uint32_t* error) = 0;
  // True when the system names the open file `name` in `folder`: false for
  // a file that a link there led to elsewhere (which Wine follows even
  // when told not to).
  virtual bool NamedIn(Folder& folder, const std::string& name) = 0;
  // True when the open file's owner is the Administrators group or SYSTEM:
  // nobody else made it, or gave it away.
  virtual bool OwnedByAdministrators() = 0;
  // Gives the open file the name `name` in `folder`, replacing a file there,
  // through this handle (which needs kDeleteAccess); the system's error code.
  // What stands at that name is replaced itself, never followed, and the
  // folder is the open one, whatever its path leads to meanwhile.
  virtual uint32_t RenameReplacing(Folder& folder, const std::string& name) = 0;
  // Marks the open file to be deleted once its last handle closes (needs
  // kDeleteAccess), or clears the mark; the system's error code. Neither
  // allocates nor throws.
  virtual uint32_t SetDeletePending(bool pending) noexcept = 0;
};

struct DirEntry {
  std::string name;  // name only, no folder
  uint32_t attributes = 0;
  uint64_t size = 0;
};

// One open folder; closes itself when destroyed. What is opened in it is
// named by its name in this folder: the folder is the one opened, whatever
// its path leads to meanwhile, and nothing on that path is looked at again.
class Folder {
 public:
  virtual ~Folder() = default;
  // Opens `name` (one name, no path) in this folder, as FileSystem::Open
  // opens a path.
  virtual std::unique_ptr<File> Open(const std::string& name, uint32_t access, uint32_t share,
                                     Disposition disposition, uint32_t flags, uint32_t* error) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens the folder at `path` (a drive or UNC path). A link or junction at
  // it is followed to what it leads to, which must be a folder of a file
  // system; anything else is refused. Null with *error set when it cannot.
  virtual std::unique_ptr<Folder> OpenFolder(const std::string& path, uint32_t* error) = 0;
  // Makes the folder at `path` with full control for SYSTEM and the
  // Administrators group only, nothing inherited, owned by the
  // Administrators group; the system's error code (kErrorAlreadyExists when
  // something stands there).
  virtual uint32_t CreateAdminFolder(const std::string& path) = 0;
  // CreateFile with the flags (kOpenReparsePoint or 0); null with *error set
  // when it cannot.
  virtual std::unique_ptr<File> Open(const std::string& path, uint32_t access, uint32_t share,
                                     Disposition disposition, uint32_t flags,
                                     uint32_t* error) = 0;
  std::unique_ptr<File> Open(const std::string& path, uint32_t access, uint32_t share,
                             Disposition disposition, uint32_t* error) {
    return Open(path, access, share, disposition, 0, error);
  }
  // File attributes, nullopt when nothing of that name exists.
  virtual std::optional<uint32_t> Attributes(const std::string& path) = 0;
  virtual uint32_t SetAttributes(const std::string& path, uint32_t attributes) = 0;
  virtual uint32_t Delete(const std::string& path) = 0;
  // RemoveDirectory: an empty folder, or a link to a folder (the link itself,
  // whatever it leads to).
  virtual uint32_t RemoveFolder(const std::string& path) = 0;
  // MoveFile: fails when the target exists.
  virtual uint32_t Move(const std::string& from, const std::string& to) = 0;
  // Replaces `to` by `from` in one step, written through to the disk before
  // it returns (MoveFileEx with REPLACE_EXISTING and WRITE_THROUGH).
  virtual uint32_t MoveReplace(const std::string& from, const std::string& to) = 0;
  // Lists what matches a pattern such as "C:\\dir\\*.*" (every attribute admitted),
  // in the order the system gives. *error is set when the search cannot start
  // (kErrorFileNotFound for no match).
  virtual std::vector<DirEntry> List(const std::string& pattern, uint32_t* error) = 0;
  virtual uint32_t SetCurrentDirectory(const std::string& path) = 0;
  virtual std::string SystemDirectory() = 0;
  virtual std::string WindowsDirectory() = 0;

  // Version resources of programs.
  // SHGetFileInfo(path, 0, SHGFI_EXETYPE) != 0: the shell knows the file as a program.
  virtual bool IsProgram(const std::string& path) = 0;
  // GetFileVersionInfoSize + GetFileVersionInfo (version.dll from the system folder only);
  // nullopt when the file has no version resource.
  virtual std::optional<std::string> VersionBlock(const std::string& path) = 0;
  // VerQueryValue on such a block: the bytes found at subBlock
  // ("\\VarFileInfo\\Translation" gives the translation list; a
  // "\\StringFileInfo\\..." path gives the zero-terminated text).
  virtual std::optional<std::string> VersionValue(const std::string& block,
                                                  const std::string& subBlock) = 0;
};

bool FileExists(FileSystem& fs, const std::string& path);       // a file, not a folder
bool DirectoryExists(FileSystem& fs, const std::string& path);  // a folder
// A file, not a folder, of that name in the open folder; *error (when
// given) tells why not.
bool FileExistsIn(Folder& folder, const std::string& name, uint32_t* error = nullptr);

// ---------------------------------------------------------------- own executable

// The bytes of a resource of the running executable. The memory belongs to the
// module; destroying the object releases the resource.
class ResourceData {
 public:
  virtual ~ResourceData() = default;
  virtual const uint8_t* Data() const = 0;
  virtual size_t Size() const = 0;
  // Where Data() lies in the loaded image, counted from the image's base
  // (an RVA); nullopt when the bytes do not lie in it.
  virtual std::optional<uint64_t> Rva() const = 0;
};

class Resources {
 public:
  virtual ~Resources() = default;
  // Finds name/type (matched without regard to case) in the own module.
  virtual std::unique_ptr<ResourceData> Load(const std::string& name, const std::string& type,
                                             uint32_t* error) = 0;
  // Full path of the running executable; empty with *error on failure.
  virtual std::string ExecutablePath(uint32_t* error) = 0;
};

// ---------------------------------------------------------------- message boxes

constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbTaskModal = 0x2000;
constexpr uint32_t kMbTopmost = 0x40000;
constexpr uint32_t kMbServiceNotification = 0x200000;
constexpr uint32_t kErrorStyle = kMbIconError | kMbServiceNotification;                 // 0x200010
constexpr uint32_t kQuestionStyle = kMbYesNo | kMbIconQuestion | kMbTaskModal | kMbTopmost;  // 0x42024
constexpr uint32_t kAppErrorStyle = kMbIconError | kMbTaskModal;                         // 0x2010
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

constexpr uint32_t kCodePageAnsi = 0;  // CP_ACP: the system's ANSI code page
constexpr uint32_t kCodePageRussian = 1251;

// A piece of text and the code page it is in.
struct TextPiece {
  std::string text;
  uint32_t codePage = kCodePageAnsi;
};
// A text made of pieces, each in its own code page.
using CodedText = std::vector<TextPiece>;

// The pieces' bytes one after the other, each in its own code page still.
inline std::string JoinedBytes(const CodedText& pieces) {
  size_t size = 0;
  for (const TextPiece& piece : pieces) size += piece.text.size();
  std::string joined;
  joined.reserve(size);
  for (const TextPiece& piece : pieces) joined += piece.text;
  return joined;
}

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  uint32_t style = 0;
  // MessageBoxEx language; nullopt = plain MessageBox (the system's default language).
  std::optional<uint16_t> language;
  // Code page of the text (and of the caption, unless captionCodePage says
  // otherwise); converted once at the boundary.
  uint32_t codePage = kCodePageAnsi;
  std::optional<uint32_t> captionCodePage;
  // When not empty, the text (the caption) is made of these pieces, each
  // converted from its own code page; `text` (`caption`) then holds their
  // bytes joined.
  CodedText textPieces;
  CodedText captionPieces;

  // The text (the caption) made of pieces, with its joined bytes.
  void SetText(CodedText pieces) {
    text = JoinedBytes(pieces);
    textPieces = std::move(pieces);
  }
  void SetCaption(CodedText pieces) {
    caption = JoinedBytes(pieces);
    captionPieces = std::move(pieces);
  }
  // The text (the caption) as pieces: its own, or the whole in its code page.
  CodedText TextAsPieces() const {
    return textPieces.empty() ? CodedText{TextPiece{text, codePage}} : textPieces;
  }
  CodedText CaptionAsPieces() const {
    return captionPieces.empty() ? CodedText{TextPiece{caption, captionCodePage.value_or(codePage)}}
                                 : captionPieces;
  }
};

class Ui {
 public:
  virtual ~Ui() = default;
  // Shows a box with no owner window; returns the button pressed (IDYES, ...).
  virtual int MessageBox(const MessageBoxRequest& request) = 0;
};

// ---------------------------------------------------------------- processes, windows, shell

class Handle {
 public:
  virtual ~Handle() = default;  // closes the handle
};

using WindowId = uintptr_t;

struct ProcessResult {
  bool started = false;
  uint32_t error = 0;      // why it did not start
  bool finished = false;   // false when the wait timed out and the process was ended
  std::string output;      // the bytes it wrote to its standard output, as written
};

class Processes {
 public:
  virtual ~Processes() = default;
  // CreateFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, size, name); the
  // handle (may be null) and GetLastError() right after the call.
  virtual std::unique_ptr<Handle> CreateNamedMapping(const std::string& name, uint32_t size,
                                                     uint32_t* lastError) = 0;
  virtual std::optional<WindowId> FindTopLevelWindow(const std::string& className) = 0;
  virtual bool PostMessage(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  // ShellExecute with no owner window, asked of the desktop shell
  // (Explorer's ShellExecute, reached through the desktop window's view), so
  // that the program runs with the shell's token, the user's unelevated
  // one, never with this process's. False when there is no desktop shell
  // to ask or any step of asking fails; nothing was started then.
  virtual bool ShellExecuteAsDesktopUser(const std::string& verb, const std::string& file,
                                         const std::string& parameters,
                                         const std::string& directory, int show) = 0;
  // CreateProcess(application (none when empty), commandLine, creationFlags,
  // hidden window) with the write end of an anonymous pipe as its standard
  // output (standard input and error are the NUL device); the read end never
  // leaves this process. The pipe is read while the process runs, so output
  // of any length cannot stall it. Waits up to timeoutMs (0xFFFFFFFF: no
  // bound) and ends the process when it runs longer.
  virtual ProcessResult RunCaptured(const std::string& application, const std::string& commandLine,
                                    uint32_t creationFlags, uint32_t timeoutMs) = 0;
  // The command line's arguments after the program name, split the usual way.
  virtual std::vector<std::string> CommandLineArguments() = 0;
};

// ---------------------------------------------------------------- system information

struct OsVersionRecord {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platformId = 0;
  std::string servicePack;
  uint16_t suiteMask = 0;
  uint8_t productType = 0;
};

constexpr int kSmTabletPc = 86;
constexpr int kSmMediaCenter = 87;
constexpr int kSmStarter = 88;
constexpr int kSmServerR2 = 89;
constexpr int kSmCxScreen = 0;
constexpr int kSmCyScreen = 1;

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // GetVersionExA with the extended record (extended = true) or the basic one.
  virtual std::optional<OsVersionRecord> Version(bool extended) = 0;
  // GetNativeSystemInfo when kernel32 exports it, else GetSystemInfo.
  virtual uint16_t ProcessorArchitecture() = 0;
  virtual int Metric(int index) = 0;
  virtual uint32_t UserDefaultLcid() = 0;
  virtual bool IsUserAnAdmin() = 0;
  virtual std::optional<std::string> Environment(const std::string& name) = 0;
  // The default ANSI code page of a locale (LOCALE_IDEFAULTANSICODEPAGE); 0 when unknown.
  virtual uint32_t AnsiCodePageOf(uint32_t lcid) = 0;
  // OemToCharA: the OEM code page to the ANSI one, character for character.
  virtual std::string OemToAnsi(const std::string& text) = 0;
};

// ---------------------------------------------------------------- time

// The pauses of the waits for a file in use.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(uint32_t ms) = 0;
};

// ---------------------------------------------------------------- all of it

class ProgressPort;    // platform/ProgressPort.h
class UnattendedPort;  // platform/UnattendedPort.h

// The whole seam, as handed to the logic.
struct Platform {
  RegistryPort& registry;
  FileSystem& files;
  Resources& resources;
  Ui& ui;
  Processes& processes;
  SystemInfo& system;
  Clock& clock;
  ProgressPort& progress;
  UnattendedPort& unattended;
};

}  // namespace orfa
