// Checks a product's language files the way the installer reads them, for
// translators and the product's CI (the command is main.cpp, orfa-lngcheck).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orfa {
namespace lngcheck {

struct LanguageFileText {
  std::string path;   // as shown in messages
  std::string name;   // name and extension, as the installer lists it
  std::string bytes;  // the whole file
};

struct Diagnostic {
  std::string path;
  size_t line = 1;  // from 1
  bool error = true;
  std::string message;
};

struct CheckOptions {
  std::string titleKey = "accordion";  // the payload's title key
  // The folder checked as a whole ("english.lng" and "russian.lng" must be
  // there); empty when single files are checked.
  std::string folder;
};

// Every file is checked but those the installer passes over ("!" in the
// name); the fallback files ("english.lng", and
// "russian.lng" for Russian-locale users) are found among `files`.
std::vector<Diagnostic> CheckLanguageFiles(const std::vector<LanguageFileText>& files,
                                           const CheckOptions& options);

// "path:line: error: message" (or "warning:").
std::string FormatDiagnostic(const Diagnostic& diagnostic);

// The ANSI code page Windows gives a locale identifier; 0 when unknown.
unsigned CodePageOfLocale(long lcid);

}  // namespace lngcheck
}  // namespace orfa
