/* Starts the installer in end-to-end runs and records its whole exit code:
 * under Wine, Linux sees only the low 8 bits of a program's exit code.
 *
 *   launcher.exe RECORD PROGRAM [ARGUMENTS...]
 *
 * Everything after RECORD is the command line of the program, passed on
 * verbatim (CreateProcessW, no handle inherited). When the program has ended,
 * one JSON line goes to RECORD:
 *   {"exit_code": what GetExitCodeProcess returned, "pid": the program's
 *    process id}
 * or {"error": GetLastError()} when it could not be started. The launcher
 * ends with the program's exit code; 2 on a bad command line, 9009 when the
 * program could not be started. It loads no module after starting the
 * program, so a trace of loaded modules names its own before the program's. */
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "command_words.h"

static wchar_t* past_blanks(wchar_t* p) {
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

static void write_record(const wchar_t* path, const char* line) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
  CloseHandle(file);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int show) {
  (void)instance;
  (void)previous;
  (void)cmdline;
  (void)show;
  wchar_t* command = GetCommandLineW();
  wchar_t* record = past_blanks(command + word_length(command));
  wchar_t* end = record + word_length(record);
  wchar_t* program = past_blanks(end);
  if (end == record || !*program) return 2;
  *end = L'\0';
  if (*record == L'"') {
    ++record;
    if (end[-1] == L'"') end[-1] = L'\0';
  }

  STARTUPINFOW startup;
  PROCESS_INFORMATION process;
  memset(&startup, 0, sizeof startup);
  memset(&process, 0, sizeof process);
  startup.cb = sizeof startup;
  char line[64];
  if (!CreateProcessW(NULL, program, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    snprintf(line, sizeof line, "{\"error\":%lu}\n", (unsigned long)GetLastError());
    write_record(record, line);
    return 9009;
  }
  DWORD exit_code = 0;
  WaitForSingleObject(process.hProcess, INFINITE);
  if (!GetExitCodeProcess(process.hProcess, &exit_code)) {
    snprintf(line, sizeof line, "{\"error\":%lu}\n", (unsigned long)GetLastError());
  } else {
    snprintf(line, sizeof line, "{\"exit_code\":%lu,\"pid\":%lu}\n", (unsigned long)exit_code,
             (unsigned long)process.dwProcessId);
  }
  write_record(record, line);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return (int)exit_code;
}
