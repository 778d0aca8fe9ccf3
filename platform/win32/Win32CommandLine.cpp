// Splitting a command line the way the system's own splitter
// (CommandLineToArgvW) does, on 8-bit text.
#include "platform/win32/Win32Platform.h"

namespace orfa {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  size_t i = 0;
  const size_t n = commandLine.size();

  // The program name: up to the closing quote when it starts with one, else
  // up to the first blank; backslashes mean nothing in it.
  if (i < n && commandLine[i] == '"') {
    ++i;
    while (i < n && commandLine[i] != '"') ++i;
    if (i < n) ++i;
  } else {
    while (i < n && !IsBlank(commandLine[i])) ++i;
  }

  for (;;) {
    while (i < n && IsBlank(commandLine[i])) ++i;
    if (i >= n) break;
    std::string argument;
    int quotes = 0;  // odd while inside quotes
    size_t backslashes = 0;
    while (i < n && !(IsBlank(commandLine[i]) && quotes % 2 == 0)) {
      char c = commandLine[i];
      if (c == '\\') {
        argument += c;
        ++backslashes;
        ++i;
        continue;
      }
      if (c == '"') {
        if (backslashes % 2 == 0) {
          // 2n backslashes and a quote: n backslashes, the quote opens or closes.
          argument.resize(argument.size() - backslashes / 2);
          ++quotes;
        } else {
          // 2n+1 backslashes and a quote: n backslashes and a literal quote.
          argument.resize(argument.size() - backslashes / 2 - 1);
          argument += '"';
        }
        backslashes = 0;
        ++i;
        // Further quotes in a row: every third one is a literal quote.
        while (i < n && commandLine[i] == '"') {
          if (++quotes == 3) {
            argument += '"';
            quotes = 0;
          }
          ++i;
        }
        if (quotes == 2) quotes = 0;
        continue;
      }
      argument += c;
      backslashes = 0;
      ++i;
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

}  // namespace orfa
