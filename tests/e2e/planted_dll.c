/* A DLL planted beside the installer under the name of a system DLL
 * (shcore.dll, uxtheme.dll, ...): the build links this one source once for
 * each name. It does nothing but record that it was loaded: on attaching to a
 * process it appends one line (UTF-8) to "planted.log" in its own folder:
 *   <the DLL's own path> TAB <the loading process's executable> CR LF
 * A trustworthy installer never loads it. */
#include <windows.h>

#include <string.h>

/* A module's path, NUL-terminated, in the buffer; the buffer is cut short
 * rather than the record lost. */
static void module_path(HMODULE module, wchar_t* buffer, DWORD size) {
  DWORD n = GetModuleFileNameW(module, buffer, size);
  buffer[n < size ? n : size - 1] = L'\0';
}

static void append_utf8(HANDLE file, const wchar_t* text) {
  char utf8[4 * MAX_PATH * 4];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, (int)sizeof utf8, NULL, NULL);
  DWORD written = 0;
  if (n > 1) WriteFile(file, utf8, (DWORD)(n - 1), &written, NULL);
}

static void record(HMODULE self) {
  wchar_t dll[4 * MAX_PATH];
  wchar_t exe[4 * MAX_PATH];
  wchar_t log[4 * MAX_PATH + 16];
  module_path(self, dll, 4 * MAX_PATH);
  module_path(NULL, exe, 4 * MAX_PATH);
  wcscpy(log, dll);
  wchar_t* slash = wcsrchr(log, L'\\');
  wcscpy(slash ? slash + 1 : log, L"planted.log");
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return;
  append_utf8(file, dll);
  append_utf8(file, L"\t");
  append_utf8(file, exe);
  append_utf8(file, L"\r\n");
  CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) record((HMODULE)instance);
  return TRUE;
}
