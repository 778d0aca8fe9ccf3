// Where DLLs come from: the search restricted to the system folder at the
// program's entry, and the delay-load helper's DLLs taken from there.
#include "platform/win32/Win32DllSearch.h"

#include <delayimp.h>

#include <string>

#include "platform/AsciiCase.h"
#include "platform/win32/Win32Handles.h"

namespace orfa::win32 {
namespace {

// Kernel32 exports them from Windows 8 on (and on 7 and Vista with the update
// KB2533623); the header shows them to newer targets only.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryAFn = BOOL(WINAPI*)(LPCSTR);

// Set once at the entry, before any other thread exists; constant-initialised,
// so it is valid before the C runtime starts.
bool searchIsSystemOnly = false;

// Whether `name` is `expected` (in lower case), the ASCII letters of `name`
// matched without regard to case.
bool IsNamed(const char* name, const char* expected) {
  for (; *name != '\0' && *expected != '\0'; ++name, ++expected) {
    if (LowerAscii(*name) != *expected) return false;
  }
  return *name == *expected;
}

// The failure the delay-load helper reports for a DLL it cannot load: the
// structured exception ERROR_MOD_NOT_FOUND with the load's details, raised
// here as one that no handler may continue from.
[[noreturn]] void FailDelayLoad(PDelayLoadInfo info, DWORD error) {
  info->dwLastError = error;
  ULONG_PTR details[1] = {reinterpret_cast<ULONG_PTR>(info)};
  ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND),
                   EXCEPTION_NONCONTINUABLE, 1, details);
  ::ExitProcess(ERROR_MOD_NOT_FOUND);  // not reached: the exception cannot be continued
}

// The delay-load helper asks before each DLL it loads; null would let it load
// the DLL by name itself, through a search that on older systems looks in the
// program's folder first. So a DLL that cannot be had from the system folder
// fails the load here, as the helper fails one. Called from the helper,
// below the import's load stub: no exception may leave it, since the
// unwinder cannot pass the stub's frame (on i386 it ends the program
// instead); a failure while building the path (no memory) fails the load too.
FARPROC WINAPI DelayLoadNotify(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr) {
    return nullptr;
  }
  HMODULE module = nullptr;
  bool failed = false;
  try {
    module = LoadSystemLibrary(info->szDll);
  } catch (...) {
    failed = true;
  }
  // Raised once the C++ exception is over, so that nothing of it is left behind.
  if (failed) FailDelayLoad(info, ERROR_NOT_ENOUGH_MEMORY);
  if (module == nullptr) FailDelayLoad(info, ::GetLastError());
  return reinterpret_cast<FARPROC>(module);
}

}  // namespace

void RestrictDllSearch() {
  auto setDefault = LookUp<SetDefaultDllDirectoriesFn>("kernel32.dll", "SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(kSearchSystem32)) {
    searchIsSystemOnly = true;
    return;
  }
  // Older systems: at least the current folder leaves the search; the
  // application's folder stays in it, so every DLL is then loaded by full path.
  auto setDirectory = LookUp<SetDllDirectoryAFn>("kernel32.dll", "SetDllDirectoryA");
  if (setDirectory != nullptr) setDirectory("");
}

HMODULE LoadSystemLibrary(const char* name) {
  // By name, the common controls go to the version 6 the manifest names
  // (side-by-side redirection, which comes before any folder is searched); a
  // full path would bypass it.
  if (searchIsSystemOnly || IsNamed(name, "comctl32.dll")) return ::LoadLibraryA(name);
  std::string path =
      GrowingText([](char* buffer, UINT size) { return ::GetSystemDirectoryA(buffer, size); });
  if (path.empty()) return nullptr;
  if (path.back() != '\\') path += '\\';
  path += name;
  // The DLL's own imports are then looked for in its folder first.
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace orfa::win32

// Read by the delay-load helper of the runtime library; this definition takes
// the place of its empty default.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = orfa::win32::DelayLoadNotify;
}
