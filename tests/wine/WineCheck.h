// What the Wine check programs share: reporting checks, and reading the
// state of real windows.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace orfa::winecheck {

inline int& Failures() {
  static int failures = 0;
  return failures;
}

inline void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++Failures();
}

inline void Note(const std::string& text) {
  std::printf("     %s\n", text.c_str());
  std::fflush(stdout);
}

// Prints the summary line and ends the process: 0 when every check passed.
[[noreturn]] inline void Finish() {
  std::printf("%s: %d failed\n", Failures() == 0 ? "PASSED" : "FAILED", Failures());
  std::fflush(stdout);
  ExitProcess(Failures() == 0 ? 0 : 1);
}

// The text in double quotes with CR and LF spelled out.
inline std::string Printable(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

inline std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  const int got = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

inline std::string ClassOf(HWND window) {
  std::string name(256, '\0');
  const int got = GetClassNameA(window, name.data(), static_cast<int>(name.size()));
  name.resize(static_cast<size_t>(got > 0 ? got : 0));
  return name;
}

}  // namespace orfa::winecheck
