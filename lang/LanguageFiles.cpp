// Finding, validating and choosing the product's language files.
#include "lang/Lang.h"
#include "lang/LangFile.h"
#include "platform/Failure.h"

namespace orfa {

namespace {

// "Работа без файла " ... " невозможна!" in Windows-1251.
const char kNoFileRuBefore[] = "\xD0\xE0\xE1\xEE\xF2\xE0 \xE1\xE5\xE7 \xF4\xE0\xE9\xEB\xE0 ";
const char kNoFileRuAfter[] = " \xED\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xE0!";
// "Файл " ... " содержит ошибки!" in Windows-1251.
const char kFileErrorsRuBefore[] = "\xD4\xE0\xE9\xEB ";
const char kFileErrorsRuAfter[] = " \xF1\xEE\xE4\xE5\xF0\xE6\xE8\xF2 \xEE\xF8\xE8\xE1\xEA\xE8!";
// "Пожалуйста, переустановите программу." in Windows-1251.
const char kReinstallRu[] =
    "\xCF\xEE\xE6\xE0\xEB\xF3\xE9\xF1\xF2\xE0, "
    "\xEF\xE5\xF0\xE5\xF3\xF1\xF2\xE0\xED\xEE\xE2\xE8\xF2\xE5 "
    "\xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xF3.";

void ReportMissingFile(SetupContext& ctx, const std::string& name) {
  ShowBilingualError(ctx,
                     "Can't work with no " + name + " file!\r\nPlease reinstall the program.",
                     kNoFileRuBefore + name + kNoFileRuAfter + "\r\n" + kReinstallRu);
}

void ReportFileErrors(SetupContext& ctx, const std::string& name) {
  ShowBilingualError(ctx, name + " file contains errors.\r\nPlease reinstall the program.",
                     CodedText{TextPiece{kFileErrorsRuBefore, kCodePageRussian}, AnsiText(name),
                               TextPiece{std::string(kFileErrorsRuAfter) + "\r\n" + kReinstallRu,
                                         kCodePageRussian}});
}

uint32_t CodePageOfLanguage(SetupContext& ctx, int32_t langId) {
  const uint32_t codePage =
      ctx.Os.system.AnsiCodePageOf(static_cast<uint32_t>(langId) & 0xFFFFu);
  return codePage != 0 ? codePage : kCodePageAnsi;
}

// Makes the file at `index` current and takes its "progname" and the first
// line of its "langcode". False when that line is not an integer; the
// language is then unknown (MessageLangId -1, the system's code page).
bool SelectFile(SetupContext& ctx, int index) {
  MessageCatalog& catalog = ctx.Catalog;
  if (index < 0 || static_cast<size_t>(index) >= catalog.LanguageFiles.size()) return false;
  catalog.CurrentFile =
      ctx.ProductFolder + "language\\" + catalog.LanguageFiles[static_cast<size_t>(index)];
  catalog.CurrentLanguageIndex = index;

  // The language first: the title is in the code page of the file it comes from.
  int32_t langId = -1;
  const bool valid = ParseDecimal(LangText(ctx, "langcode"), &langId);
  ctx.MessageLangId = valid ? langId : -1;
  ctx.MessageCodePage = valid ? CodePageOfLanguage(ctx, langId) : kCodePageAnsi;
  const TextPiece title = LangTextPiece(ctx, "progname");
  ctx.GroupNameRu = title.text;
  ctx.GroupNameRuCodePage = title.codePage;
  return valid;
}

// Selects `index` for good; reports the file as faulty when its language
// code cannot be read.
bool Choose(SetupContext& ctx, int index) {
  if (SelectFile(ctx, index)) return true;
  ReportFileErrors(ctx, ctx.Catalog.LanguageFiles[static_cast<size_t>(index)]);
  return false;
}

// Checks the file at `index` (already selected): "langver" must be an
// integer, and so must every line of "langcode"; a line equal to the user's
// locale makes it the locale's file.
bool ValidateSelected(SetupContext& ctx, int index) {
  int32_t version = 0;
  if (!ParseDecimal(LangText(ctx, "langver"), &version)) return false;
  const std::string codes = LangLines(ctx, "langcode");
  size_t begin = 0;
  for (;;) {
    const size_t end = codes.find("\r\n", begin);
    const std::string piece =
        codes.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    int32_t code = 0;
    if (!ParseDecimal(piece, &code)) return false;
    if (static_cast<int64_t>(code) == static_cast<int64_t>(ctx.UserLcid)) {
      ctx.Catalog.LocaleFileIndex = index;
    }
    if (end == std::string::npos) break;
    begin = end + 2;
  }
  return true;
}

// The file named by the product's per-user value "LangFile", or -1. A value
// that is not text is not a file name.
int StoredFileIndex(SetupContext& ctx) {
  if (!ctx.Registry) return -1;
  KeyCloser closer(*ctx.Registry);
  OpenUserSettingsKey(ctx);
  std::string stored;
  try {
    if (!ctx.Registry->ValueExists("LangFile")) return -1;
    stored = ctx.Registry->ReadString("LangFile");
  } catch (const RegistryFailure&) {
    return -1;
  }
  const MessageCatalog& catalog = ctx.Catalog;
  if (stored == catalog.LanguageFiles[static_cast<size_t>(catalog.CurrentLanguageIndex)]) {
    return -1;
  }
  for (size_t i = 0; i < catalog.LanguageFiles.size(); ++i) {
    if (catalog.LanguageFiles[i] == stored) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

void SelectLanguageFile(SetupContext& ctx, int index) { SelectFile(ctx, index); }

bool LoadLanguageFiles(SetupContext& ctx) {
  MessageCatalog& catalog = ctx.Catalog;
  catalog = MessageCatalog();

  // Every "*.lng" in the language folder, in the order the search gives,
  // except names with "!".
  uint32_t error = 0;
  const std::vector<DirEntry> entries =
      ctx.Os.files.List(ctx.ProductFolder + "language\\*.lng", &error);
  for (const DirEntry& entry : entries) {
    if (IsIgnoredLanguageFileName(entry.name)) continue;
    const int index = static_cast<int>(catalog.LanguageFiles.size());
    catalog.LanguageFiles.push_back(entry.name);
    const std::string lowered = LowerAscii(entry.name);
    if (lowered == "russian.lng") {
      catalog.RussianFileIndex = index;
    } else if (lowered == "english.lng") {
      catalog.EnglishFileIndex = index;
    }
  }

  // English is needed by everyone, Russian too by users of Russian texts.
  if (ctx.UseRussian && catalog.RussianFileIndex == -1) {
    ReportMissingFile(ctx, "russian.lng");
    return false;
  }
  if (catalog.EnglishFileIndex == -1) {
    ReportMissingFile(ctx, "english.lng");
    return false;
  }

  for (size_t i = 0; i < catalog.LanguageFiles.size(); ++i) {
    const int index = static_cast<int>(i);
    if (!SelectFile(ctx, index) || !ValidateSelected(ctx, index)) {
      ReportFileErrors(ctx, catalog.LanguageFiles[i]);
      return false;
    }
    if (index == (ctx.UseRussian ? catalog.RussianFileIndex : catalog.EnglishFileIndex))
      catalog.FallbackCodePage = ctx.MessageCodePage;
  }

  int chosen = catalog.LocaleFileIndex;
  if (chosen < 0) chosen = ctx.UseRussian ? catalog.RussianFileIndex : catalog.EnglishFileIndex;
  if (!Choose(ctx, chosen)) return false;

  const int stored = StoredFileIndex(ctx);
  if (stored >= 0 && !Choose(ctx, stored)) return false;
  return true;
}

}  // namespace orfa
