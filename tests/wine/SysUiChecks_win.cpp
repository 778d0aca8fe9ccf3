// Checks of the progress window and the console capture against the real
// window system and command interpreter (run under Wine by ctest).
//
//   orfa_sysui_checks [ready-file go-file]
//
// With the two file names, the program creates ready-file while the progress
// window is shown and waits (up to a minute) for go-file to appear before it
// goes on, so that a screenshot of the shown window can be taken.
// Exit code 0 when every check passed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/Startup.h"
#include "core/SetupContext.h"
#include "platform/win32/Win32Platform.h"
#include "sysinfo/SystemName.h"
#include "tests/wine/WineCheck.h"
#include "ui/ProgressWindow.h"

namespace {

using namespace orfa::winecheck;



// Waits up to timeoutMs, in real time, for a visible top-level "PlainWindow".
HWND WaitForVisibleWindow(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND window = FindWindowA("PlainWindow", nullptr);
    if (window != nullptr && IsWindowVisible(window)) return window;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(20);
  }
}

bool FileThere(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CheckShownWindow(HWND window, const std::string& title, const std::string& text) {
  Check(ClassOf(window) == "PlainWindow", "window class is PlainWindow");
  Check(IsWindowVisible(window) != FALSE, "window is visible");
  const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  Check((exStyle & WS_EX_TOPMOST) != 0, "window is topmost (WS_EX_TOPMOST)");
  Check((exStyle & WS_EX_DLGMODALFRAME) != 0, "window has WS_EX_DLGMODALFRAME");
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  Check((style & WS_DLGFRAME) != 0, "window has WS_DLGFRAME");
  std::printf("     style 0x%08lX, extended style 0x%08lX\n", static_cast<unsigned long>(style),
              static_cast<unsigned long>(exStyle));

  RECT rect{};
  GetWindowRect(window, &rect);
  const int cx = GetSystemMetrics(SM_CXSCREEN);
  const int cy = GetSystemMetrics(SM_CYSCREEN);
  std::printf("     screen %dx%d, window at %ld,%ld size %ldx%ld\n", cx, cy, rect.left, rect.top,
              rect.right - rect.left, rect.bottom - rect.top);
  Check(rect.right - rect.left == 408 && rect.bottom - rect.top == 76, "window is 408 x 76");
  Check(rect.left == (cx - 408) / 2 && rect.top == (cy - 76) / 2, "window is centred on the screen");

  Check(WindowText(window) == title, "window title is " + Printable(title));
  HWND label = FindWindowExA(window, nullptr, "STATIC", nullptr);
  Check(label != nullptr && WindowText(label) == text, "text line is " + Printable(text));
  HWND bar = FindWindowExA(window, nullptr, "msctls_progress32", nullptr);
  Check(bar != nullptr && IsWindowVisible(bar), "progress bar child exists and is visible");

  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(window, &process);
  Check(thread != GetCurrentThreadId(), "window belongs to a thread of its own");
}

void ProgressChecks(orfa::SetupContext& ctx, const std::string& readyFile, const std::string& goFile) {
  Check(FindWindowA("PlainWindow", nullptr) == nullptr, "no progress window before the first show");
  orfa::HideProgress(ctx);
  Sleep(200);
  Check(FindWindowA("PlainWindow", nullptr) == nullptr, "hide before any show makes no window");

  const std::string title = "Orfa update";
  const std::string text = "Copying orfm.cok";
  orfa::ShowProgress(ctx, title, text);
  HWND window = WaitForVisibleWindow(10000);
  Check(window != nullptr, "show makes a visible window");
  if (window == nullptr) return;
  CheckShownWindow(window, title, text);

  if (!readyFile.empty()) {
    HANDLE ready = CreateFileA(readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    const DWORD start = GetTickCount();
    while (!FileThere(goFile) && GetTickCount() - start < 60000) Sleep(50);
  }

  RECT before{};
  GetWindowRect(window, &before);
  orfa::HideProgress(ctx);
  Check(IsWindowVisible(window) == FALSE, "hide hides the window");

  const std::string title2 = "Second title";
  const std::string text2 = "Second line";
  orfa::ShowProgress(ctx, title2, text2);
  Check(FindWindowA("PlainWindow", nullptr) == window, "show after hide reuses the same window");
  RECT after{};
  GetWindowRect(window, &after);
  Check(EqualRect(&before, &after) != FALSE, "shown again at the same place and size");
  CheckShownWindow(window, title2, text2);
  orfa::HideProgress(ctx);
  Check(IsWindowVisible(window) == FALSE, "hidden again");
}

size_t FilesIn(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  do {
    ++count;
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return count;
}

void CaptureChecks(orfa::SetupContext& ctx) {
  std::string temp = ctx.Os.system.Environment("Temp").value_or("");
  if (!temp.empty() && temp.back() != '\\') temp += '\\';
  const size_t filesBefore = FilesIn(temp);

  const std::string ver = orfa::CaptureConsoleOutput(ctx, "ver");
  std::printf("     ver gives %s\n", Printable(ver).c_str());
  // Windows prints "Microsoft Windows [Version 10.0.19045.2965]", Wine
  // "Microsoft Windows 6.1.7601": both name the system and its version.
  Check(ver.find("Microsoft Windows") != std::string::npos, "\"ver\" output names the system");
  Check(ver.find(" 6.") != std::string::npos || ver.find(" 10.") != std::string::npos,
        "\"ver\" output holds the version number");
  Check(ver.size() >= 2 && ver.compare(ver.size() - 2, 2, "\r\n") == 0, "output ends with CR LF");
  Check(FilesIn(temp) == filesBefore, "no temporary file is left in " + temp);

  // Lines end at CR LF or LF; the last one needs no break.
  const std::string source = temp + "orfa-capture-lines.txt";
  HANDLE file = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, "one\r\ntwo\nthree", 14, &written, nullptr);
  CloseHandle(file);
  const std::string lines = orfa::CaptureConsoleOutput(ctx, "type \"" + source + "\"");
  DeleteFileA(source.c_str());
  Check(lines == "one\r\ntwo\r\nthree\r\n", "each line comes back with CR LF: " + Printable(lines));

  const std::string silent = orfa::CaptureConsoleOutput(ctx, "rem");
  Check(silent == "\r\n", "a command that prints nothing gives one CR LF: " + Printable(silent));

  // The environment's ComSpec plays no part: the system's own interpreter runs.
  char comspec[1024] = {};
  GetEnvironmentVariableA("ComSpec", comspec, sizeof comspec);
  SetEnvironmentVariableA("ComSpec", "C:\\orfa-missing\\not-an-interpreter.exe");
  Check(orfa::CaptureConsoleOutput(ctx, "ver") == ver, "a ComSpec naming another program is not run");
  SetEnvironmentVariableA("ComSpec", nullptr);
  Check(orfa::CaptureConsoleOutput(ctx, "ver") == ver, "no ComSpec: the same output");
  SetEnvironmentVariableA("ComSpec", comspec);

  // Output far beyond the pipe's buffer comes back whole.
  // Long lines, few of them: each turn of cmd's loop is slow where Wine runs
  // emulated, and the capture's time is bounded.
  const std::string line(98, 'x');
  const std::string many = orfa::CaptureConsoleOutput(ctx, "for /l %i in (1,1,1000) do @echo " + line);
  Check(many.size() == 1000u * 100u, "long output comes back whole: " + std::to_string(many.size()));
  Check(FilesIn(temp) == filesBefore, "still no file made in " + temp);

  const std::string name = orfa::BuildSystemName(ctx);
  std::printf("     system name %s, 64-bit %s\n", Printable(name).c_str(),
              ctx.Is64BitSystem ? "yes" : "no");
  Check(!name.empty() && name != "unknown", "the system has a name");

  // This 32-bit program runs under WOW64 exactly when the system is 64-bit.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  BOOL wow64 = FALSE;
  auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  if (isWow64 != nullptr) isWow64(GetCurrentProcess(), &wow64);
  // (The 64-bit build of these checks runs on 64-bit systems only.)
  Check(ctx.Is64BitSystem == (sizeof(void*) == 8 || wow64 != FALSE),
        "the 64-bit flag agrees with WOW64");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string readyFile = argc > 2 ? argv[1] : "";
  const std::string goFile = argc > 2 ? argv[2] : "";

  orfa::Win32Platform platform;
  orfa::SetupContext ctx(platform.Get());
  orfa::InitSetupContext(ctx);

  ProgressChecks(ctx, readyFile, goFile);
  CaptureChecks(ctx);

  orfa::FreeSetupContext(ctx);
  // The window thread runs until the process ends.
  Finish();
}
