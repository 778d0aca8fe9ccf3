// Checks of the checked replacement and of the program version reader against
// the real Windows layer (run under Wine by run_checked.py, beside the
// end-to-end robot that answers the question box).
//
//   orfa_checked_checks replace FOLDER yes|no|none en|ru [language] [nowindow]
//                       [stale] [signal=DIR]
//     Lays an installed orfm.cok of data version 120 into FOLDER (a product
//     folder ending in "\"), shows the progress window, then installs the
//     program's own "cok" resource "ORFM" (data version 100) over it in the
//     checked mode. While the question is up, a watcher thread looks at the
//     progress window; afterwards the files and the window are checked. The
//     third word is the answer the robot gives; "none" lays out a file of the
//     same data version 100, which is replaced without a question. The fourth
//     word is the user's locale as the driver set it. "language" loads the
//     language files that the driver laid into FOLDER\language\; "nowindow"
//     leaves the progress window unshown before the install; "stale" lays a
//     killed run's temporary file in the way, and a read-only file beside it
//     under the next name. With signal=DIR
//     the program creates DIR\question-shown while the question is up, and
//     DIR\progress-shown once the window is back, then waits for
//     DIR\progress-shot.
//   orfa_checked_checks versions FOLDER VERSIONED FIRST-OF-TWO PLAIN
//     The "FileVersion" texts of three programs: one with a version resource
//     (5.2.0.14 under 0419/04E3), one listing two translations (1.9.0.0 under
//     the first, 0409/04B0), one without a version resource; and of a text
//     file that the program writes into FOLDER.
//
// Prints "pid N" first, one line per check, and exits with 0 when all passed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "core/SetupContext.h"
#include "install/Payload.h"
#include "install/Versions.h"
#include "lang/Lang.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Handles.h"
#include "tests/wine/WineCheck.h"
#include "ui/ProgressWindow.h"

namespace {

using namespace orfa::winecheck;


bool FileThere(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  orfa::win32::UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) != FALSE &&
         written == bytes.size();
}

// The whole file; empty when it cannot be read.
std::vector<unsigned char> ReadWholeFile(const std::string& path) {
  orfa::win32::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  std::vector<unsigned char> bytes;
  if (!file.Valid()) return bytes;
  unsigned char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  return bytes;
}

void Touch(const std::string& path) {
  orfa::win32::UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Names in a folder, "." and ".." left out.
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return names;
}

// The program's own "cok" resource "ORFM", read past the code under test.
std::vector<unsigned char> OwnResource() {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(self, "ORFM", "COK");
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(self, found);
  const auto* data = static_cast<const unsigned char*>(LockResource(loaded));
  if (data == nullptr) return {};
  return std::vector<unsigned char>(data, data + SizeofResource(self, found));
}

// An installed orfm.cok of the given data version (below 256): update stamp
// 14, then a filler of its own.
std::vector<unsigned char> InstalledFile(int dataVersion) {
  std::vector<unsigned char> bytes{'o', 'r', 'f', 'm', 14 + 32,
                                   static_cast<unsigned char>(dataVersion), 0};
  const std::string filler = "the installed orfm.cok, newer than the one carried. ";
  while (bytes.size() < 3000) bytes.insert(bytes.end(), filler.begin(), filler.end());
  return bytes;
}

// ---- the progress window as the window system sees it

struct WindowState {
  HWND window = nullptr;
  bool ownProcess = false;
  bool visible = false;
  LONG exStyle = 0;
  RECT rect{};
  std::string title;
  std::string text;
};

WindowState ReadProgressWindow() {
  WindowState state;
  state.window = FindWindowA("PlainWindow", nullptr);
  if (state.window == nullptr) return state;
  DWORD process = 0;
  GetWindowThreadProcessId(state.window, &process);
  state.ownProcess = process == GetCurrentProcessId();
  state.visible = IsWindowVisible(state.window) != FALSE;
  state.exStyle = GetWindowLongA(state.window, GWL_EXSTYLE);
  GetWindowRect(state.window, &state.rect);
  state.title = WindowText(state.window);
  HWND label = FindWindowExA(state.window, nullptr, "STATIC", nullptr);
  if (label != nullptr) state.text = WindowText(label);
  return state;
}

std::string Describe(const WindowState& s) {
  char line[160];
  std::snprintf(line, sizeof line, "window %s, at %ld,%ld size %ldx%ld, extended style 0x%08lX",
                s.visible ? "visible" : "hidden", s.rect.left, s.rect.top,
                s.rect.right - s.rect.left, s.rect.bottom - s.rect.top,
                static_cast<unsigned long>(s.exStyle));
  return line;
}

// Topmost, 408 x 76, centred on the screen.
void CheckPlace(const WindowState& s, const std::string& when) {
  Check((s.exStyle & WS_EX_TOPMOST) != 0, when + ": the window is topmost");
  Check(s.rect.right - s.rect.left == 408 && s.rect.bottom - s.rect.top == 76,
        when + ": the window is 408 x 76");
  const int cx = GetSystemMetrics(SM_CXSCREEN);
  const int cy = GetSystemMetrics(SM_CYSCREEN);
  Check(s.rect.left == (cx - 408) / 2 && s.rect.top == (cy - 76) / 2,
        when + ": the window is centred on the screen");
}

// Waits up to timeoutMs, in real time, for the progress window to be visible.
WindowState WaitForShownWindow(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    WindowState state = ReadProgressWindow();
    if (state.visible || GetTickCount() - start > timeoutMs) return state;
    Sleep(20);
  }
}

// ---- the watcher: what the window system shows while the question is up

struct QuestionView {
  volatile LONG stop = 0;
  bool seen = false;
  std::wstring caption;
  bool boxOwned = false;
  bool boxStillUp = false;  // the box was still there after the window was read
  WindowState progress;
  std::string signalFile;  // created once the box is seen
};

struct BoxSearch {
  HWND box = nullptr;
};

BOOL CALLBACK FindOwnBox(HWND window, LPARAM param) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) && ClassOf(window) == "#32770") {
    reinterpret_cast<BoxSearch*>(param)->box = window;
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI WatchQuestion(LPVOID param) {
  QuestionView& view = *static_cast<QuestionView*>(param);
  const DWORD start = GetTickCount();
  while (InterlockedCompareExchange(&view.stop, 0, 0) == 0 && GetTickCount() - start < 60000) {
    BoxSearch search;
    EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&search));
    if (search.box != nullptr) {
      view.progress = ReadProgressWindow();
      view.boxStillUp = IsWindow(search.box) && IsWindowVisible(search.box);
      view.boxOwned = GetWindow(search.box, GW_OWNER) != nullptr;
      const int length = GetWindowTextLengthW(search.box);
      view.caption.assign(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
      const int got = GetWindowTextW(search.box, view.caption.data(),
                                     static_cast<int>(view.caption.size()));
      view.caption.resize(static_cast<size_t>(got > 0 ? got : 0));
      view.seen = true;
      if (!view.signalFile.empty()) Touch(view.signalFile);
      return 0;
    }
    Sleep(10);
  }
  return 0;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length > 0 ? length : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length,
                      nullptr, nullptr);
  return out;
}

// ---- the cases

struct ReplaceOptions {
  std::string folder;
  std::string answer;  // "yes", "no", or "none": same versions, no question
  bool russian = false;
  bool language = false;       // load the language files laid out in the folder
  bool windowFirst = true;     // show the progress window before the install
  bool staleTemp = false;      // a temporary file of an earlier run is in the way
  std::string signalDir;
};

void ReplaceCase(orfa::SetupContext& ctx, const ReplaceOptions& options) {
  std::string folder = options.folder;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  CreateDirectoryA(folder.c_str(), nullptr);
  ctx.ProductFolder = folder;
  const bool question = options.answer != "none";
  const bool keep = options.answer == "no";
  Check(ctx.UseRussian == options.russian,
        std::string("the locale gives ") + (options.russian ? "Russian" : "English") +
            " texts (LCID " + std::to_string(ctx.UserLcid) + ")");
  if (options.language) {
    Check(orfa::LoadLanguageFiles(ctx), "the language files load");
    Check(ctx.Catalog.CurrentLanguageIndex >= 0, "a language file is current");
  } else {
    Check(ctx.Catalog.CurrentLanguageIndex < 0, "no language file is loaded");
  }

  const std::string target = folder + "orfm.cok";
  const std::string temp = folder + "~orfm.cok";
  const std::string notOurs = folder + "~~orfm.cok";
  const std::string readOnly = "not the installer's: read-only, hidden and system";
  const int installedVersion = question ? 120 : 100;
  const std::vector<unsigned char> installed = InstalledFile(installedVersion);
  const std::vector<unsigned char> resource = OwnResource();
  Check(resource.size() > 1000 && resource.size() < 65536,
        "the program carries its resource ORFM of type COK (" + std::to_string(resource.size()) +
            " bytes)");
  Check(WriteWholeFile(target, installed), "the installed file is laid out at " + target);
  constexpr DWORD kNotOursAttributes =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
  if (options.staleTemp) {
    const std::string stale = "a temporary file left by a killed run";
    Check(WriteWholeFile(temp, std::vector<unsigned char>(stale.begin(), stale.end())),
          "a stale " + temp + " is laid out");
    // What the installer never makes is left alone, and the next name taken.
    Check(WriteWholeFile(notOurs, std::vector<unsigned char>(readOnly.begin(), readOnly.end())) &&
              SetFileAttributesA(notOurs.c_str(), kNotOursAttributes) != FALSE,
          "a read-only, hidden, system " + notOurs + " is laid out");
  }
  Check(orfa::ReadCokVersion(ctx, target) == installedVersion,
        "the installed file has data version " + std::to_string(installedVersion));

  WindowState before;
  if (options.windowFirst) {
    orfa::ShowProgress(ctx, "Title", "Text");
    before = WaitForShownWindow(10000);
    Check(before.window != nullptr && before.ownProcess, "the progress window exists");
    if (before.window == nullptr) return;
    Note(Describe(before));
    Check(before.visible, "before: the window is visible");
    CheckPlace(before, "before");
    Check(before.title == "Title" && before.text == "Text", "before: title and text are shown");
  } else {
    Check(FindWindowA("PlainWindow", nullptr) == nullptr, "before: no progress window");
  }

  QuestionView view;
  if (!options.signalDir.empty()) view.signalFile = options.signalDir + "\\question-shown";
  orfa::win32::UniqueKernel watcher(CreateThread(nullptr, 0, WatchQuestion, &view, 0, nullptr));
  Check(watcher.Valid(), "the watcher thread runs");

  const bool replaced = orfa::InstallResourceFile(ctx, "orfm", "cok", target, true);

  InterlockedExchange(&view.stop, 1);
  if (watcher.Valid()) WaitForSingleObject(watcher.Get(), 70000);

  // While the question was up.
  if (!question) {
    Check(!view.seen, "same versions: no question");
  } else {
    Check(view.seen, "the question box was up");
  }
  if (question && view.seen) {
    Note("question caption " + Printable(Utf8(view.caption)));
    Check(view.boxStillUp, "the box was still up when the window was read");
    Check(!view.boxOwned, "the box has no owner window");
    if (options.windowFirst) {
      Note("during the question: " + Describe(view.progress));
      Check(view.progress.window == before.window, "during: the same progress window");
      Check(!view.progress.visible, "during: the progress window is hidden");
      CheckPlace(view.progress, "during");
    } else {
      Check(view.progress.window == nullptr, "during: still no progress window");
    }
  }

  // Afterwards.
  Check(replaced == !keep, std::string("InstallResourceFile tells ") +
                               (replaced ? "replaced" : "kept"));
  // A window that did not exist yet is created by the window thread.
  const WindowState after =
      options.windowFirst ? ReadProgressWindow() : WaitForShownWindow(10000);
  Note("afterwards: " + Describe(after));
  if (options.windowFirst) {
    Check(after.window == before.window, "after: the same progress window");
    Check(EqualRect(&before.rect, &after.rect) != FALSE, "after: the same place and size");
  }
  if (question) {
    Check(after.window != nullptr && after.ownProcess, "after: the progress window exists");
    Check(after.visible, "after: the progress window is shown again");
    CheckPlace(after, "after");
    Check(after.title.empty() && after.text.empty(),
          "after: empty title and text (" + Printable(after.title) + ", " +
              Printable(after.text) + ")");
  } else {
    Check(after.visible && after.title == "Title" && after.text == "Text",
          "after: the window is untouched (" + Printable(after.title) + ", " +
              Printable(after.text) + ")");
  }

  const std::vector<unsigned char> now = ReadWholeFile(target);
  if (!keep) {
    Check(!resource.empty() && now == resource, "the target holds the resource's bytes");
    Check(orfa::ReadCokVersion(ctx, target) == 100, "the target has data version 100");
  } else {
    Check(now == installed, "No: the target is unchanged");
  }
  Check(!FileThere(temp), "no temporary file " + temp + " remains");
  std::vector<std::string> expected{"orfm.cok"};
  if (options.staleTemp) {
    expected.push_back("~~orfm.cok");
    const std::vector<unsigned char> left = ReadWholeFile(notOurs);
    Check(std::string(left.begin(), left.end()) == readOnly &&
              (GetFileAttributesA(notOurs.c_str()) & kNotOursAttributes) == kNotOursAttributes,
          notOurs + ", not the installer's, is left as it was (" +
              std::to_string(left.size()) + " bytes, attributes " +
              std::to_string(GetFileAttributesA(notOurs.c_str())) + ")");
    SetFileAttributesA(notOurs.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  if (options.language) expected.push_back("language");
  std::vector<std::string> entries = FolderEntries(folder);
  std::string listing;
  for (const std::string& name : entries) listing += (listing.empty() ? "" : ", ") + name;
  bool onlyExpected = entries.size() == expected.size();
  for (const std::string& name : entries) {
    bool known = false;
    for (const std::string& e : expected) known = known || e == name;
    onlyExpected = onlyExpected && known;
  }
  Check(onlyExpected, "the folder holds nothing else: " + listing);

  if (!options.signalDir.empty()) {
    Touch(options.signalDir + "\\progress-shown");
    const std::string go = options.signalDir + "\\progress-shot";
    const DWORD start = GetTickCount();
    while (!FileThere(go) && GetTickCount() - start < 60000) Sleep(50);
  }
}

void VersionsCase(orfa::SetupContext& ctx, std::string folder, const std::string& versioned,
                  const std::string& firstOfTwo, const std::string& plain) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string text = folder + "readme.txt";
  const std::string line = "FileVersion 5.2.0.14\r\n";
  WriteWholeFile(text, std::vector<unsigned char>(line.begin(), line.end()));

  struct Row {
    std::string what;
    std::string path;
    std::string expected;
  };
  const Row rows[] = {
      {"a program with FileVersion under 0419/04E3", versioned, "5.2.0.14"},
      {"a program listing 0409/04B0 first", firstOfTwo, "1.9.0.0"},
      {"a program without a version resource", plain, ""},
      {"a text file", text, ""},
      {"no file", folder + "missing.exe", ""},
  };
  for (const Row& row : rows) {
    const std::string got = orfa::ReadExeFileVersion(ctx, row.path);
    Check(got == row.expected, row.what + " gives " + Printable(got));
  }

  const orfa::VersionComparison older = orfa::CompareVersions(ctx, "exe", firstOfTwo, versioned);
  Check(older.IsNewOlder && older.NewVersionText == "1.9.0.0" &&
            older.OldVersionText == "5.2.0.14",
        "exe 1.9.0.0 over 5.2.0.14 is older");
  const orfa::VersionComparison newer = orfa::CompareVersions(ctx, "exe", versioned, firstOfTwo);
  Check(!newer.IsNewOlder, "exe 5.2.0.14 over 1.9.0.0 is not older");
  const orfa::VersionComparison overPlain = orfa::CompareVersions(ctx, "exe", firstOfTwo, plain);
  Check(!overPlain.IsNewOlder, "exe over a program without a version is not older");
  DeleteFileA(text.c_str());
}

int Usage() {
  std::printf("usage: orfa_checked_checks replace FOLDER yes|no|none en|ru [language] [nowindow]"
              " [stale] [signal=DIR]\n"
              "       orfa_checked_checks versions FOLDER VERSIONED FIRST-OF-TWO PLAIN\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::printf("pid %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  std::fflush(stdout);

  orfa::Win32Platform platform;
  orfa::SetupContext ctx(platform.Get());
  orfa::InitSetupContext(ctx);
  ctx.ProductName = "Orfa";
  ctx.GroupNameEn = "Orfa update";

  if (args.size() >= 4 && args[0] == "replace" &&
      (args[2] == "yes" || args[2] == "no" || args[2] == "none") &&
      (args[3] == "en" || args[3] == "ru")) {
    ReplaceOptions options;
    options.folder = args[1];
    options.answer = args[2];
    options.russian = args[3] == "ru";
    for (size_t i = 4; i < args.size(); ++i) {
      if (args[i] == "language") {
        options.language = true;
      } else if (args[i] == "nowindow") {
        options.windowFirst = false;
      } else if (args[i] == "stale") {
        options.staleTemp = true;
      } else if (args[i].rfind("signal=", 0) == 0) {
        options.signalDir = args[i].substr(7);
      } else {
        return Usage();
      }
    }
    ReplaceCase(ctx, options);
  } else if (args.size() == 5 && args[0] == "versions") {
    VersionsCase(ctx, args[1], args[2], args[3], args[4]);
  } else {
    return Usage();
  }

  orfa::FreeSetupContext(ctx);
  // The progress window's thread runs until the process ends.
  Finish();
}
