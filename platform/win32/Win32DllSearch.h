// Where the installer's DLLs come from. It runs elevated from a folder that
// the user can write (a downloads folder): a DLL lying there under a system
// name must never be loaded. The executable imports only kernel32 (and the C
// runtime, a KnownDLL); every other system DLL is delay-loaded, after the
// program's entry has restricted the search to the system folder.
#pragma once

#include <windows.h>

namespace orfa::win32 {

// Restricts where DLLs are searched for to the system folder. The first thing
// the program does, before the C runtime starts: uses kernel32 only.
void RestrictDllSearch();

// A system DLL loaded from the system folder: by full path, or by name where
// the search is already restricted (so that the manifest's side-by-side
// redirection still applies). Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

}  // namespace orfa::win32
