/* A small program that shows message boxes the way the installer does, so that
 * the robot and the harness can be checked on their own:
 *
 *   boxprobe.exe RESULTFILE
 *
 * shows, one after the other, a question (MB_YESNO | MB_ICONQUESTION |
 * MB_TASKMODAL | MB_TOPMOST, ANSI), an error (MB_ICONERROR |
 * MB_SERVICE_NOTIFICATION, ANSI, text in the ANSI code page) and a wide
 * information box with Cyrillic text, and writes each box's return value to
 * RESULTFILE, one decimal number a line. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int show) {
  (void)instance;
  (void)previous;
  (void)show;
  if (!cmdline || !*cmdline) return 2;
  int results[3];
  results[0] = MessageBoxExA(NULL, "Line one\r\nLine two", "Probe question",
                             MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL | MB_TOPMOST, 0);
  results[1] = MessageBoxExA(NULL, "Probe error text", "Probe error", MB_ICONERROR | MB_SERVICE_NOTIFICATION,
                             0x19);
  results[2] = MessageBoxExW(NULL, L"\x041F\x0440\x043E\x0431\x0430 \"\x041E\x0440\x0444\x0430\"",
                             L"\x0417\x043E\x043D\x0434", MB_OK | MB_ICONINFORMATION, 0);
  HANDLE f = CreateFileA(cmdline, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return 3;
  char line[64];
  for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i) {
    int n = snprintf(line, sizeof line, "%d\n", results[i]);
    DWORD written = 0;
    if (n > 0) WriteFile(f, line, (DWORD)n, &written, NULL);
  }
  CloseHandle(f);
  return 0;
}
