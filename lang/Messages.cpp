// Looking texts up in the current language file (with the fallback file for
// what it lacks), filling placeholders, and the message boxes.
#include "lang/Lang.h"
#include "lang/LangFile.h"
#include "platform/IntegerText.h"

namespace orfa {

namespace {

// "Не удаётся работать с файлом языковой поддержки " in Windows-1251.
const char kCantHandleFileRu[] =
    "\xCD\xE5 \xF3\xE4\xE0\xB8\xF2\xF1\xFF \xF0\xE0\xE1\xEE\xF2\xE0\xF2\xFC \xF1 "
    "\xF4\xE0\xE9\xEB\xEE\xEC \xFF\xE7\xFB\xEA\xEE\xE2\xEE\xE9 "
    "\xEF\xEE\xE4\xE4\xE5\xF0\xE6\xEA\xE8 ";

constexpr uint16_t kLangRussian = 0x19;

struct LanguageFileRef {
  std::string name;  // as listed, for error texts
  std::string path;
};

bool ValidIndex(const MessageCatalog& catalog, int index) {
  return index >= 0 && static_cast<size_t>(index) < catalog.LanguageFiles.size();
}

std::string LanguageFolder(const SetupContext& ctx) { return ctx.ProductFolder + "language\\"; }

bool CurrentFile(const SetupContext& ctx, LanguageFileRef* ref) {
  const MessageCatalog& catalog = ctx.Catalog;
  if (!ValidIndex(catalog, catalog.CurrentLanguageIndex) || catalog.CurrentFile.empty()) {
    return false;
  }
  ref->name = catalog.LanguageFiles[static_cast<size_t>(catalog.CurrentLanguageIndex)];
  ref->path = catalog.CurrentFile;
  return true;
}

bool FallbackFile(const SetupContext& ctx, LanguageFileRef* ref) {
  const MessageCatalog& catalog = ctx.Catalog;
  const int index = ctx.UseRussian ? catalog.RussianFileIndex : catalog.EnglishFileIndex;
  if (!ValidIndex(catalog, index)) return false;
  ref->name = catalog.LanguageFiles[static_cast<size_t>(index)];
  ref->path = LanguageFolder(ctx) + ref->name;
  return true;
}

// The language of boxes that show language texts: the low 16 bits of the
// current file's language code; the system's default before a file is chosen.
uint16_t MessageLanguage(const SetupContext& ctx) {
  if (ctx.MessageLangId == -1) return 0;
  return static_cast<uint16_t>(static_cast<uint32_t>(ctx.MessageLangId) & 0xFFFFu);
}

}  // namespace

TextPiece LangTextPiece(SetupContext& ctx, const std::string& key) {
  LanguageFileRef current;
  if (!CurrentFile(ctx, &current)) return TextPiece();
  EntryResult found = ReadLanguageEntry(ctx.Os.files, current.path, key, EntryShape::SingleLine);
  if (found.status == EntryStatus::Failed) {
    ReportLanguageFileError(ctx, current.name);
    return TextPiece();
  }
  if (!found.value.empty()) return TextPiece{found.value, ctx.MessageCodePage};

  LanguageFileRef fallback;
  if (!FallbackFile(ctx, &fallback)) return TextPiece();
  found = ReadLanguageEntry(ctx.Os.files, fallback.path, key, EntryShape::SingleLine);
  if (found.status == EntryStatus::Failed) {
    ReportLanguageFileError(ctx, fallback.name);
    return TextPiece();
  }
  return TextPiece{found.value, ctx.Catalog.FallbackCodePage};
}

TextPiece LangLinesPiece(SetupContext& ctx, const std::string& key) {
  LanguageFileRef current;
  if (!CurrentFile(ctx, &current)) return TextPiece();
  EntryResult found =
      ReadLanguageEntry(ctx.Os.files, current.path, key, EntryShape::LinesEmptyFirstMissing);
  if (found.status == EntryStatus::Failed) {
    ReportLanguageFileError(ctx, current.name);
    return TextPiece{found.value, ctx.MessageCodePage};  // the lines read before the failure
  }
  if (found.status == EntryStatus::Found) return TextPiece{found.value, ctx.MessageCodePage};

  LanguageFileRef fallback;
  if (!FallbackFile(ctx, &fallback)) return TextPiece();
  // In the fallback file an empty first line does not make the key missing.
  found = ReadLanguageEntry(ctx.Os.files, fallback.path, key, EntryShape::Lines);
  if (found.status == EntryStatus::Failed) ReportLanguageFileError(ctx, fallback.name);
  return TextPiece{found.value, ctx.Catalog.FallbackCodePage};
}

std::string LangText(SetupContext& ctx, const std::string& key) {
  return LangTextPiece(ctx, key).text;
}

std::string LangLines(SetupContext& ctx, const std::string& key) {
  return LangLinesPiece(ctx, key).text;
}

CodedText FillPlaceholders(const TextPiece& message, const std::vector<CodedText>& texts) {
  const std::string& text = message.text;
  // The placeholders in use: "%1" up to the first one the message lacks, and
  // none beyond the texts supplied.
  size_t count = 0;
  while (count < 4 && count < texts.size() &&
         text.find(std::string{'%', static_cast<char>('1' + count)}) != std::string::npos) {
    ++count;
  }
  // One pass, left to right: what is put in is never looked at again.
  CodedText filled;
  size_t copied = 0;  // the message's bytes up to here are in `filled`
  for (size_t i = 0; count > 0 && i + 1 < text.size(); ++i) {
    const char next = text[i + 1];
    if (text[i] != '%' || next < '1' || static_cast<size_t>(next - '1') >= count) continue;
    if (i > copied) filled.push_back(TextPiece{text.substr(copied, i - copied), message.codePage});
    const CodedText& put = texts[static_cast<size_t>(next - '1')];
    filled.insert(filled.end(), put.begin(), put.end());
    copied = i + 2;
    ++i;
  }
  if (copied < text.size() || filled.empty())
    filled.push_back(TextPiece{text.substr(copied), message.codePage});
  return filled;
}

CodedText LangFormatCoded(SetupContext& ctx, const std::string& key,
                          const std::vector<CodedText>& texts) {
  return FillPlaceholders(LangTextPiece(ctx, key), texts);
}

CodedText LangFormatLinesCoded(SetupContext& ctx, const std::string& key,
                               const std::vector<CodedText>& texts) {
  return FillPlaceholders(LangLinesPiece(ctx, key), texts);
}

int ShowLangMessage(SetupContext& ctx, const CodedText& text) {
  MessageBoxRequest request;
  request.SetText(text);
  request.SetCaption({TextPiece{ctx.GroupNameRu, ctx.GroupNameRuCodePage}});
  request.style = kErrorStyle;
  request.language = MessageLanguage(ctx);
  request.codePage = ctx.MessageCodePage;
  request.captionCodePage = ctx.GroupNameRuCodePage;
  return ctx.Os.ui.MessageBox(request);
}

bool AskLangQuestion(SetupContext& ctx, const CodedText& text, const CodedText& caption) {
  MessageBoxRequest request;
  request.SetText(text);
  request.SetCaption(caption);
  request.style = kQuestionStyle;
  request.language = MessageLanguage(ctx);
  request.codePage = ctx.MessageCodePage;
  return ctx.Os.ui.MessageBox(request) == kIdYes;
}

void ShowBilingualError(SetupContext& ctx, const std::string& english, const std::string& russian) {
  ShowBilingualError(ctx, english, CodedText{TextPiece{russian, kCodePageRussian}});
}

void ShowBilingualError(SetupContext& ctx, const std::string& english, const CodedText& russian) {
  MessageBoxRequest request;
  request.style = kErrorStyle;
  if (ctx.UseRussian) {
    request.SetText(russian);
    request.caption = ctx.GroupNameRu;
    request.language = kLangRussian;
    // The built-in Russian text is Windows-1251; the caption is the chosen
    // language file's title once a file is chosen, in that file's code page.
    request.codePage = kCodePageRussian;
    request.captionCodePage = ctx.GroupNameRuCodePage;
  } else {
    request.text = english;
    request.caption = ctx.GroupNameEn;
    request.language = 0;  // the system's default language
    request.codePage = kCodePageAnsi;
  }
  ctx.Os.ui.MessageBox(request);
}

void ReportLanguageFileError(SetupContext& ctx, const std::string& name) {
  ShowBilingualError(ctx, "Can't handle the language support file " + name,
                     CodedText{TextPiece{kCantHandleFileRu, kCodePageRussian}, AnsiText(name)});
}

bool ParseDecimal(const std::string& text, int32_t* value) {
  return ParseInt32(text, IntegerDigits::Decimal, value);
}

}  // namespace orfa
