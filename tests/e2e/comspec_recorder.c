/* Stands in for the command interpreter (ComSpec) in end-to-end runs: it
 * records how it was called, then lets the real interpreter do the work.
 * ComSpec is the user's to set, so the elevated installer must never start
 * what it names: a log line from the installer's run is a failure.
 *
 *   comspec_recorder.exe ARGUMENTS...
 *
 * Appends one JSON line (UTF-8) to the file named by the environment variable
 * ORFA_COMSPEC_LOG:
 *   {"cmdline": the whole command line, "comspec": %ComSpec%, "temp": %Temp%,
 *    "cwd": the current folder}
 * then runs %SystemRoot%\system32\cmd.exe with everything that follows its
 * own program name on the command line, unchanged, waits for it and exits
 * with its exit code. It is a console program, so the interpreter shares the
 * (hidden) console it was started in. Exit code 9009 when the interpreter
 * cannot be started, 4 when memory runs out. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "command_words.h"

#define LOG_VARIABLE L"ORFA_COMSPEC_LOG"

/* ---- texts of the environment ---- */

/* A variable of the environment, freshly allocated; NULL when it is not set
 * or empty. */
static wchar_t* environment(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, NULL, 0);
  if (size == 0) return NULL;
  for (;;) {
    wchar_t* value = (wchar_t*)calloc(size, sizeof(wchar_t));
    if (!value) ExitProcess(4);
    DWORD n = GetEnvironmentVariableW(name, value, size);
    if (n < size) return value;
    free(value);
    size = n;
  }
}

static wchar_t* current_folder(void) {
  DWORD size = GetCurrentDirectoryW(0, NULL) + 1;
  wchar_t* folder = (wchar_t*)calloc(size, sizeof(wchar_t));
  if (!folder) ExitProcess(4);
  GetCurrentDirectoryW(size, folder);
  return folder;
}

static wchar_t* system_folder(void) {
  UINT size = GetSystemDirectoryW(NULL, 0) + 1;
  wchar_t* folder = (wchar_t*)calloc(size, sizeof(wchar_t));
  if (!folder) ExitProcess(4);
  GetSystemDirectoryW(folder, size);
  return folder;
}

/* ---- the JSON line ---- */

/* The text as a JSON string in UTF-8, freshly allocated; "null" for a missing
 * text. Once in UTF-8, only the quote, the backslash and control characters
 * need escaping, each into 6 bytes at the most. */
static char* json_string(const wchar_t* text) {
  if (!text) return _strdup("null");
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  char* utf8 = (char*)calloc(size > 0 ? (size_t)size : 1, 1);
  if (!utf8) ExitProcess(4);
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, size, NULL, NULL);
  char* json = (char*)calloc(strlen(utf8) * 6 + 3, 1);
  if (!json) ExitProcess(4);
  char* out = json;
  *out++ = '"';
  for (const unsigned char* p = (const unsigned char*)utf8; *p; ++p) {
    if (*p == '"' || *p == '\\') {
      *out++ = '\\';
      *out++ = (char)*p;
    } else if (*p < 0x20) {
      out += sprintf(out, "\\u%04x", (unsigned)*p);
    } else {
      *out++ = (char)*p;
    }
  }
  *out = '"';
  free(utf8);
  return json;
}

static void append_to_log(const wchar_t* path, const char* line) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
  CloseHandle(file);
}

static void record(const wchar_t* command_line) {
  wchar_t* log = environment(LOG_VARIABLE);
  if (!log) return;
  static const char* const keys[] = {"cmdline", "comspec", "temp", "cwd"};
  wchar_t* values[4] = {NULL, environment(L"ComSpec"), environment(L"Temp"), current_folder()};
  char* fields[4];
  size_t size = 4;
  for (int i = 0; i < 4; ++i) {
    fields[i] = json_string(i == 0 ? command_line : values[i]);
    if (!fields[i]) ExitProcess(4);
    size += strlen(keys[i]) + strlen(fields[i]) + 4;
  }
  char* line = (char*)calloc(size, 1);
  if (!line) ExitProcess(4);
  char* out = line;
  for (int i = 0; i < 4; ++i) {
    out += sprintf(out, "%s\"%s\":%s", i == 0 ? "{" : ",", keys[i], fields[i]);
    free(fields[i]);
    free(values[i]);
  }
  strcpy(out, "}\n");
  append_to_log(log, line);
  free(line);
  free(log);
}

/* ---- running the real interpreter ---- */

int main(void) {
  const wchar_t* command_line = GetCommandLineW();
  record(command_line);

  wchar_t* folder = system_folder();
  const wchar_t* name = L"\\cmd.exe";
  const wchar_t* rest = command_line + word_length(command_line);
  size_t folder_len = wcslen(folder), name_len = wcslen(name), rest_len = wcslen(rest);
  wchar_t* interpreter = (wchar_t*)calloc(folder_len + name_len + 1, sizeof(wchar_t));
  wchar_t* line = (wchar_t*)calloc(folder_len + name_len + rest_len + 3, sizeof(wchar_t));
  if (!interpreter || !line) ExitProcess(4);
  wcscpy(interpreter, folder);
  wcscat(interpreter, name);
  line[0] = L'"';
  wcscat(line, interpreter);
  wcscat(line, L"\"");
  wcscat(line, rest);

  STARTUPINFOW startup;
  PROCESS_INFORMATION process;
  memset(&startup, 0, sizeof startup);
  memset(&process, 0, sizeof process);
  startup.cb = sizeof startup;
  DWORD exit_code = 9009;
  if (CreateProcessW(interpreter, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    if (!GetExitCodeProcess(process.hProcess, &exit_code)) exit_code = 9009;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  free(line);
  free(interpreter);
  free(folder);
  return (int)exit_code;
}
