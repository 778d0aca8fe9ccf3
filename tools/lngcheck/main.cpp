// orfa-lngcheck: checks a product's language files as the installer reads
// them. Messages go to standard output as "path:line: error: ..." or
// "warning: ..."; the exit status is 0 without errors, 1 with errors and 2
// on bad usage.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "core/Text.h"
#include "tools/lngcheck/LngCheck.h"

namespace fs = std::filesystem;
using orfa::lngcheck::CheckOptions;
using orfa::lngcheck::LanguageFileText;

namespace {

constexpr char kUsage[] =
    "usage: orfa-lngcheck [--title-key KEY] LANGUAGE-FOLDER | FILE.lng...\n"
    "Checks language files as the installer reads them. Given a folder, checks\n"
    "every *.lng in it (names with \"!\" are skipped, as the installer skips them)\n"
    "and that english.lng and russian.lng are there. KEY is the update's title\n"
    "key (default \"accordion\").\n";

int Usage(const std::string& problem) {
  std::cerr << "orfa-lngcheck: " << problem << "\n" << kUsage;
  return 2;
}

bool ReadWhole(const fs::path& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  CheckOptions options;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--title-key") {
      if (++i >= argc) return Usage("--title-key needs a key");
      options.titleKey = argv[i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) return Usage("no language folder or file given");

  std::vector<fs::path> files;
  std::error_code error;
  if (paths.size() == 1 && fs::is_directory(paths[0], error)) {
    options.folder = paths[0];
    for (const fs::directory_entry& entry : fs::directory_iterator(paths[0], error)) {
      if (orfa::LowerAscii(entry.path().extension().string()) == ".lng") {
        files.push_back(entry.path());
      }
    }
    if (error) return Usage("cannot list " + paths[0] + ": " + error.message());
    std::sort(files.begin(), files.end());
  } else {
    for (const std::string& path : paths) files.emplace_back(path);
  }

  std::vector<LanguageFileText> texts;
  for (const fs::path& path : files) {
    LanguageFileText text;
    text.path = path.string();
    text.name = path.filename().string();
    if (!ReadWhole(path, &text.bytes)) return Usage("cannot read " + text.path);
    texts.push_back(std::move(text));
  }

  std::vector<orfa::lngcheck::Diagnostic> diagnostics =
      orfa::lngcheck::CheckLanguageFiles(texts, options);
  std::stable_sort(diagnostics.begin(), diagnostics.end(), [](const auto& a, const auto& b) {
    return a.path != b.path ? a.path < b.path : a.line < b.line;
  });
  size_t errors = 0;
  for (const auto& d : diagnostics) {
    std::cout << orfa::lngcheck::FormatDiagnostic(d) << "\n";
    if (d.error) ++errors;
  }
  std::cerr << "orfa-lngcheck: " << texts.size() << " file(s), " << errors << " error(s), "
            << diagnostics.size() - errors << " warning(s)\n";
  return errors ? 1 : 0;
}
