// Language files: choosing and loading them, looking texts up by key,
// filling placeholders, and the error boxes.
#pragma once

#include <string>
#include <vector>

#include "core/SetupContext.h"

namespace orfa {

// --- loading (language file selection)
bool LoadLanguageFiles(SetupContext& ctx);
void SelectLanguageFile(SetupContext& ctx, int index);

// --- lookups
// Each lookup reads the file afresh and leaves nothing open. An unreadable
// file is reported (one box per lookup) and gives the empty text; before any
// file is chosen every lookup gives the empty text.
// Each text comes with the code page of the file it came from (the current
// file's or the fallback file's).
TextPiece LangTextPiece(SetupContext& ctx, const std::string& key);
TextPiece LangLinesPiece(SetupContext& ctx, const std::string& key);
// The bytes alone, for the language files' own entries ("langcode",
// "langver"), which are read as numbers.
std::string LangText(SetupContext& ctx, const std::string& key);
std::string LangLines(SetupContext& ctx, const std::string& key);
// Formats whose texts keep their own code pages (a path is in the system's
// ANSI code page): the message's pieces and the texts put in, in order.
CodedText LangFormatCoded(SetupContext& ctx, const std::string& key,
                          const std::vector<CodedText>& texts);
CodedText LangFormatLinesCoded(SetupContext& ctx, const std::string& key,
                               const std::vector<CodedText>& texts);
// Fills "%1" to "%4" in one pass, left to right; the texts put in are taken as
// they are. The placeholders in use run from "%1" to the first one the
// message lacks; one numbered beyond the texts supplied stays as it is.
CodedText FillPlaceholders(const TextPiece& message, const std::vector<CodedText>& texts);
// A text from the system (a path, a number) in its ANSI code page.
inline TextPiece AnsiText(std::string text) { return TextPiece{std::move(text), kCodePageAnsi}; }

// --- boxes
// Error box in the current language file's language (caption GroupNameRu).
int ShowLangMessage(SetupContext& ctx, const CodedText& text);
// Yes/no question in the current language file's language; true for Yes.
bool AskLangQuestion(SetupContext& ctx, const CodedText& text, const CodedText& caption);
// Russian (Windows-1251) or English built-in error, by the user's locale. The
// Russian box is shown in code page 1251 as a whole, its caption included.
void ShowBilingualError(SetupContext& ctx, const std::string& english, const std::string& russian);
// The same with a Russian text whose pieces keep their own code pages (a name
// or path from the system in the ANSI code page).
void ShowBilingualError(SetupContext& ctx, const std::string& english, const CodedText& russian);
void ReportLanguageFileError(SetupContext& ctx, const std::string& name);

// --- integer texts
// Decimal with optional sign and leading spaces; nothing may follow.
bool ParseDecimal(const std::string& text, int32_t* value);

}  // namespace orfa
