// Choosing and loading language files, lookups with the fallback file, and the
// message boxes, against the simulated Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Registry.h"
#include "core/SetupContext.h"
#include "lang/Lang.h"
#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

// ---------------------------------------------------------------- Windows-1251 in tests

// Windows-1251 bytes of the Cyrillic letters (and ASCII) of a UTF-8 text.
std::string Cp1251(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    if (b0 < 0x80) {
      out.push_back(static_cast<char>(b0));
      ++i;
      continue;
    }
    const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
    const unsigned code = ((b0 & 0x1Fu) << 6) | (b1 & 0x3Fu);
    i += 2;
    if (code >= 0x410 && code <= 0x44F) out.push_back(static_cast<char>(code - 0x410 + 0xC0));
    else if (code == 0x401) out.push_back('\xA8');
    else if (code == 0x451) out.push_back('\xB8');
    else out.push_back('?');
  }
  return out;
}

// UTF-8 of a Windows-1251 text (Cyrillic letters and ASCII).
std::string Utf8(const std::string& cp1251) {
  std::string out;
  for (char c : cp1251) {
    const auto b = static_cast<unsigned char>(c);
    unsigned code = b;
    if (b >= 0xC0) code = 0x410u + (b - 0xC0u);
    else if (b == 0xA8) code = 0x401;
    else if (b == 0xB8) code = 0x451;
    else if (b >= 0x80) code = '?';
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else {
      out.push_back(static_cast<char>(0xC0u | (code >> 6)));
      out.push_back(static_cast<char>(0x80u | (code & 0x3Fu)));
    }
  }
  return out;
}

// ---------------------------------------------------------------- the scene

const char kProduct[] = "C:\\Program Files\\Orfa\\";
const char kFolder[] = "C:\\Program Files\\Orfa\\language\\";
const char kUserKey[] = "Software\\Tovel\\Orfa";

// A language file with the header entries the installer reads.
std::string Lng(const std::string& progname, const std::string& langcode,
                const std::string& langver = "3", const std::string& rest = "") {
  std::string text = "[langname]\r\nsome language\r\n\r\n";
  if (!progname.empty()) text += "[progname]\r\n" + progname + "\r\n\r\n";
  if (!langcode.empty()) text += "[langcode]\r\n" + langcode + "\r\n\r\n";
  if (!langver.empty()) text += "[langver]\r\n" + langver + "\r\n\r\n";
  return text + rest;
}

const std::string kEnglish = Lng("Orfa update", "1033\r\n2057", "5",
                                 "[soundquest]\r\nQuestion\r\n\r\n"
                                 "[multi]\r\nfirst\r\nsecond\r\n\r\n"
                                 "[onlyenglish]\r\nfrom english\r\n"
                                 "[emptyfirst]\r\n\r\nafter empty\r\nmore\r\n\r\n"
                                 "[blankfirst]\r\n   \r\nafter blanks\r\n\r\n"
                                 "[greeting]\r\nHello %1, from %2\r\n");
const std::string kRussianTitle = Cp1251("Обновление Орфы");
const std::string kRussian = Lng(kRussianTitle, "1049\r\n2073", "4",
                                 "[soundquest]\r\n" + Cp1251("Вопрос") + "\r\n\r\n"
                                 "[onlyrussian]\r\n" + Cp1251("по-русски") + "\r\n");
const std::string kBuiltInTitleRu = Cp1251("Обновление программы \"Орфа\"");

class LangTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx.ProductFolder = kProduct;
    ctx.ProductName = "Orfa";
    ctx.GroupNameRu = kBuiltInTitleRu;
    ctx.GroupNameEn = "Orfa update";
    ctx.Registry = std::make_unique<Registry>(sim.registry, kKeyAllAccess);
    UseLocale(0x0409);
  }

  void UseLocale(uint32_t lcid) {
    sim.system.SetUserLcid(lcid);
    ctx.UserLcid = lcid;
    ctx.UseRussian = IsRussianLocale(lcid);
  }
  void Add(const std::string& name, const std::string& content) {
    sim.files.AddFile(kFolder + name, content);
  }
  void Order(const std::vector<std::string>& names) { sim.files.SetListOrder(kFolder, names); }
  void StoreLangFile(const std::string& name) {
    sim.registry.SetString(RootKey::CurrentUser, kUserKey, "LangFile", name);
  }
  std::string CurrentName() const {
    const int index = ctx.Catalog.CurrentLanguageIndex;
    if (index < 0) return "(none)";
    return ctx.Catalog.LanguageFiles[static_cast<size_t>(index)];
  }
  const std::vector<MessageBoxCall>& Boxes() const { return sim.ui.Calls(); }
  // A text in the current file's code page, as one piece.
  CodedText InFileCodePage(const std::string& text) const {
    return {TextPiece{text, ctx.MessageCodePage}};
  }
  // English and Russian files, in this order, and `more` after them (or,
  // with `moreFirst`, before them), loaded for the current locale.
  void LoadStandard(const std::vector<std::pair<std::string, std::string>>& more = {},
                    bool moreFirst = false) {
    Add("english.lng", kEnglish);
    Add("russian.lng", kRussian);
    std::vector<std::string> order = {"english.lng", "russian.lng"};
    for (const auto& file : more) {
      Add(file.first, file.second);
      order.insert(moreFirst ? order.begin() : order.end(), file.first);
    }
    Order(order);
    ASSERT_TRUE(LoadLanguageFiles(ctx));
    ASSERT_TRUE(Boxes().empty());
  }

  SimWindows sim;
  SetupContext ctx{sim.Get()};
};

void ExpectEnglishBox(const MessageBoxCall& box, const std::string& text) {
  EXPECT_EQ(box.request.text, text);
  EXPECT_EQ(box.request.caption, "Orfa update");
  EXPECT_EQ(box.request.style, 0x200010u);
  EXPECT_EQ(box.request.language, std::optional<uint16_t>(0));
  EXPECT_EQ(box.request.codePage, kCodePageAnsi);
}

void ExpectRussianBox(const MessageBoxCall& box, const std::string& utf8Text,
                      const std::string& caption) {
  EXPECT_EQ(Utf8(box.request.text), utf8Text);
  EXPECT_EQ(box.request.caption, caption);
  EXPECT_EQ(box.request.style, 0x200010u);
  EXPECT_EQ(box.request.language, std::optional<uint16_t>(0x19));
  EXPECT_EQ(box.request.codePage, 1251u);
}

// ---------------------------------------------------------------- required files

struct RequiredCase {
  const char* name;
  std::vector<std::string> files;
  uint32_t lcid;
  std::string missing;
};

class LangRequiredTest : public LangTest, public ::testing::WithParamInterface<RequiredCase> {};

TEST_P(LangRequiredTest, ReportsTheMissingFileBeforeReadingAny) {
  const RequiredCase& c = GetParam();
  UseLocale(c.lcid);
  sim.files.AddFolder(kFolder);
  for (const auto& file : c.files) Add(file, kEnglish);

  EXPECT_FALSE(LoadLanguageFiles(ctx));
  ASSERT_EQ(Boxes().size(), 1u);
  if (ctx.UseRussian) {
    ExpectRussianBox(Boxes()[0],
                     "Работа без файла " + c.missing +
                         " невозможна!\r\nПожалуйста, переустановите программу.",
                     kBuiltInTitleRu);
  } else {
    ExpectEnglishBox(Boxes()[0],
                     "Can't work with no " + c.missing + " file!\r\nPlease reinstall the program.");
  }
  EXPECT_EQ(ctx.Catalog.CurrentLanguageIndex, -1);
  EXPECT_EQ(ctx.GroupNameRu, kBuiltInTitleRu);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LangRequiredTest,
    ::testing::Values(
        RequiredCase{"OnlyEnglishRussianUser", {"english.lng"}, 0x0419, "russian.lng"},
        RequiredCase{"OnlyRussianEnglishUser", {"russian.lng"}, 0x0409, "english.lng"},
        RequiredCase{"OnlyRussianRussianUser", {"russian.lng"}, 0x0419, "english.lng"},
        RequiredCase{"NoneRussianUser", {}, 0x0819, "russian.lng"},
        RequiredCase{"NoneEnglishUser", {}, 0x0409, "english.lng"},
        RequiredCase{"SerbianCyrillicIsNotRussian", {"russian.lng"}, 0x0C1A, "english.lng"},
        RequiredCase{"NamesWithBang",
                     {"!english.lng", "eng!lish.lng", "english!.lng", "russian.lng"},
                     0x0409,
                     "english.lng"},
        RequiredCase{"RussianWithBang", {"english.lng", "russian!.lng"}, 0x0419, "russian.lng"}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(LangTest, MissingLanguageFolderCountsAsNoFiles) {
  UseLocale(0x0419);
  EXPECT_FALSE(LoadLanguageFiles(ctx));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Utf8(Boxes()[0].request.text),
            "Работа без файла russian.lng невозможна!\r\n"
            "Пожалуйста, переустановите программу.");
}

// ---------------------------------------------------------------- choosing a file

TEST_F(LangTest, OnlyEnglishServesAnEnglishUser) {
  Add("english.lng", kEnglish);
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(ctx.Catalog.LanguageFiles, std::vector<std::string>{"english.lng"});
  EXPECT_EQ(ctx.Catalog.EnglishFileIndex, 0);
  EXPECT_EQ(ctx.Catalog.RussianFileIndex, -1);
  EXPECT_EQ(ctx.Catalog.LocaleFileIndex, 0);
  EXPECT_EQ(ctx.Catalog.CurrentLanguageIndex, 0);
  EXPECT_EQ(ctx.Catalog.CurrentFile, std::string(kFolder) + "english.lng");
  EXPECT_EQ(ctx.MessageLangId, 1033);
  EXPECT_EQ(ctx.GroupNameRu, "Orfa update");
  EXPECT_EQ(ctx.MessageCodePage, 1252u);
  EXPECT_EQ(ctx.GroupNameRuCodePage, 1252u);
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

TEST_F(LangTest, NamesWithBangAreNotListed) {
  Add("english.lng", kEnglish);
  Add("!german.lng", Lng("Orfa", "1033"));
  Add("ger!man.lng", Lng("Orfa", "1033"));
  Add("german!.lng", Lng("Orfa", "1033"));
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  EXPECT_EQ(ctx.Catalog.LanguageFiles, std::vector<std::string>{"english.lng"});
  EXPECT_EQ(CurrentName(), "english.lng");
}

struct LocaleCase {
  const char* name;
  uint32_t lcid;
  std::string chosen;
  int32_t langId;
  uint32_t codePage;
  bool germanFirst = false;  // german.lng listed before the others
};

class LangLocaleTest : public LangTest, public ::testing::WithParamInterface<LocaleCase> {};

TEST_P(LangLocaleTest, ChoosesByLanguageCodeLinesElseFallback) {
  const LocaleCase& c = GetParam();
  UseLocale(c.lcid);
  LoadStandard({{"german.lng", Lng("Orfa-Aktualisierung", "1031\r\n2055")}}, c.germanFirst);
  EXPECT_EQ(CurrentName(), c.chosen);
  EXPECT_EQ(ctx.MessageLangId, c.langId);
  EXPECT_EQ(ctx.MessageCodePage, c.codePage);
  EXPECT_EQ(ctx.GroupNameRuCodePage, c.codePage);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LangLocaleTest,
    ::testing::Values(LocaleCase{"Russian", 1049, "russian.lng", 1049, 1251},
                      LocaleCase{"RussianMoldovaSecondLine", 2073, "russian.lng", 1049, 1251},
                      LocaleCase{"UkrainianFallsBackToRussian", 0x0422, "russian.lng", 1049, 1251},
                      LocaleCase{"German", 1031, "german.lng", 1031, 1252},
                      LocaleCase{"GermanSwissSecondLine", 2055, "german.lng", 1031, 1252},
                      LocaleCase{"GermanListedFirst", 1031, "german.lng", 1031, 1252, true},
                      LocaleCase{"BritishSecondLine", 2057, "english.lng", 1033, 1252},
                      LocaleCase{"FrenchFallsBackToEnglish", 1036, "english.lng", 1033, 1252},
                      LocaleCase{"SerbianCyrillicToEnglish", 0x0C1A, "english.lng", 1033, 1252}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(LangTest, RussianChoiceTakesItsTitle) {
  UseLocale(0x0419);
  LoadStandard();
  EXPECT_EQ(ctx.GroupNameRu, kRussianTitle);
  EXPECT_EQ(ctx.Catalog.RussianFileIndex, 1);
  EXPECT_EQ(ctx.Catalog.LocaleFileIndex, 1);
}

TEST_F(LangTest, RussianFileIsFoundInAnyLetterCase) {
  UseLocale(0x0419);
  Add("english.lng", kEnglish);
  Add("Russian.LNG", kRussian);
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  EXPECT_EQ(CurrentName(), "Russian.LNG");
  EXPECT_EQ(ctx.Catalog.RussianFileIndex, 1);
}

TEST_F(LangTest, LaterFileListingTheLocaleWins) {
  UseLocale(1031);
  Add("english.lng", kEnglish);
  Add("a.lng", Lng("A", "1031"));
  Add("b.lng", Lng("B", "1031"));
  Order({"english.lng", "b.lng", "a.lng"});
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  EXPECT_EQ(CurrentName(), "a.lng");
  EXPECT_EQ(ctx.GroupNameRu, "A");

  sim.ui.Clear();
  Order({"english.lng", "a.lng", "b.lng"});
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  EXPECT_EQ(CurrentName(), "b.lng");
  EXPECT_EQ(ctx.Catalog.LanguageFiles.size(), 3u);
}

TEST_F(LangTest, FileWithoutCodesTakesTheFallbackCodes) {
  // german.lng lacks "langcode" and "progname": it takes English's, so it
  // lists 1033 and, being later, is chosen for an English user.
  Add("english.lng", kEnglish);
  Add("german.lng", Lng("", "", "7"));
  Order({"english.lng", "german.lng"});
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  EXPECT_EQ(CurrentName(), "german.lng");
  EXPECT_EQ(ctx.MessageLangId, 1033);
  EXPECT_EQ(ctx.GroupNameRu, "Orfa update");
}

TEST_F(LangTest, UnknownCodePageMeansTheSystems) {
  sim.system.SetAnsiCodePage(1033, 0);
  Add("english.lng", kEnglish);
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  EXPECT_EQ(ctx.MessageCodePage, kCodePageAnsi);
  EXPECT_EQ(ctx.GroupNameRuCodePage, kCodePageAnsi);
}

// ---------------------------------------------------------------- the stored file name

struct StoredCase {
  const char* name;
  std::string stored;  // empty: a REG_DWORD value instead of text
  std::string chosen;
};

class LangStoredTest : public LangTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(LangStoredTest, AppliesAnExactlyMatchingName) {
  const StoredCase& c = GetParam();
  UseLocale(1031);
  if (c.stored.empty()) {
    sim.registry.SetDword(RootKey::CurrentUser, kUserKey, "LangFile", 1);
  } else {
    StoreLangFile(c.stored);
  }
  Add("English.LNG", kEnglish);
  Add("russian.lng", kRussian);
  Add("german.lng", Lng("Orfa-Aktualisierung", "1031"));
  Order({"English.LNG", "russian.lng", "german.lng"});
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(CurrentName(), c.chosen);
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LangStoredTest,
    ::testing::Values(StoredCase{"SameAsChosen", "german.lng", "german.lng"},
                      StoredCase{"Russian", "russian.lng", "russian.lng"},
                      StoredCase{"ExactCase", "English.LNG", "English.LNG"},
                      StoredCase{"OtherCase", "english.lng", "german.lng"},
                      StoredCase{"NotListed", "french.lng", "german.lng"},
                      StoredCase{"WithFolder", "language\\russian.lng", "german.lng"},
                      StoredCase{"NotText", "", "german.lng"}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(LangTest, StoredChoiceTakesThatFilesLanguage) {
  StoreLangFile("russian.lng");
  LoadStandard();
  EXPECT_EQ(CurrentName(), "russian.lng");
  EXPECT_EQ(ctx.MessageLangId, 1049);
  EXPECT_EQ(ctx.MessageCodePage, 1251u);
  EXPECT_EQ(ctx.GroupNameRu, kRussianTitle);
}

TEST_F(LangTest, UserKeyIsCreatedAndClosed) {
  LoadStandard();
  EXPECT_TRUE(sim.registry.KeyExists(RootKey::CurrentUser, kUserKey));
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
  EXPECT_FALSE(ctx.Registry->HasOpenKey());
}

TEST_F(LangTest, UnopenableUserKeyLeavesTheChoice) {
  sim.registry.DenyAccess(RootKey::CurrentUser, kUserKey);
  LoadStandard();
  EXPECT_EQ(CurrentName(), "english.lng");
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
}

// ---------------------------------------------------------------- validation

struct InvalidCase {
  const char* name;
  std::string content;
};

class LangInvalidTest : public LangTest, public ::testing::WithParamInterface<InvalidCase> {};

TEST_P(LangInvalidTest, ReportsTheFileAndStops) {
  const InvalidCase& c = GetParam();
  Add("english.lng", kEnglish);
  Add("german.lng", c.content);
  Add("zulu.lng", Lng("Z", "1077"));
  Order({"english.lng", "german.lng", "zulu.lng"});
  EXPECT_FALSE(LoadLanguageFiles(ctx));
  ASSERT_EQ(Boxes().size(), 1u);
  ExpectEnglishBox(Boxes()[0], "german.lng file contains errors.\r\nPlease reinstall the program.");
  EXPECT_EQ(ctx.Catalog.CurrentLanguageIndex, 1);  // zulu.lng was not examined
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LangInvalidTest,
    ::testing::Values(InvalidCase{"VersionNotInteger", Lng("G", "1031", "1.0")},
                      InvalidCase{"VersionTrailingBlank", Lng("G", "1031", "2 ")},
                      InvalidCase{"SecondCodeNotInteger", Lng("G", "1031\r\n10x")},
                      InvalidCase{"FirstCodeNotInteger", Lng("G", "German\r\n1031")},
                      InvalidCase{"CodeTooLarge", Lng("G", "1031\r\n4294967296")}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(LangTest, VersionMissingEverywhereIsAnError) {
  Add("english.lng", Lng("Orfa update", "1033", ""));
  EXPECT_FALSE(LoadLanguageFiles(ctx));
  ASSERT_EQ(Boxes().size(), 1u);
  ExpectEnglishBox(Boxes()[0], "english.lng file contains errors.\r\nPlease reinstall the program.");
}

TEST_F(LangTest, RussianUserSeesTheFaultyFilesTitle) {
  UseLocale(0x0419);
  Add("english.lng", kEnglish);
  Add("russian.lng", kRussian);
  Add("german.lng", Lng("Orfa-Aktualisierung", "1031", "x"));
  Order({"english.lng", "russian.lng", "german.lng"});
  EXPECT_FALSE(LoadLanguageFiles(ctx));
  ASSERT_EQ(Boxes().size(), 1u);
  ExpectRussianBox(Boxes()[0],
                   "Файл german.lng содержит ошибки!\r\nПожалуйста, переустановите программу.",
                   "Orfa-Aktualisierung");
}

TEST_F(LangTest, UnreadableFileDuringLoad) {
  Add("english.lng", kEnglish);
  Add("german.lng", Lng("G", "1031"));
  Order({"english.lng", "german.lng"});
  sim.files.OpenFails(std::string(kFolder) + "german.lng", kErrorAccessDenied);
  EXPECT_FALSE(LoadLanguageFiles(ctx));
  // Its title and its language code cannot be read (one box each), so its
  // language code is no integer.
  ASSERT_EQ(Boxes().size(), 3u);
  ExpectEnglishBox(Boxes()[0], "Can't handle the language support file german.lng");
  ExpectEnglishBox(Boxes()[1], "Can't handle the language support file german.lng");
  ExpectEnglishBox(Boxes()[2], "german.lng file contains errors.\r\nPlease reinstall the program.");
  EXPECT_EQ(ctx.MessageLangId, -1);
}

// ---------------------------------------------------------------- lookups

TEST_F(LangTest, LookupsInTheCurrentFileAndTheFallback) {
  UseLocale(1031);
  LoadStandard({{"german.lng", Lng("G", "1031", "1",
                                   "[soundquest]\r\nFrage\r\n\r\n"
                                   "[multi]\r\n\r\nignored\r\n\r\n"
                                   "[onlyenglish]\r\n\r\n"
                                   "[blank]\r\n  \r\nnext\r\n\r\n"
                                   "[greeting]\r\n%2 sagt hallo zu %1\r\n")}});
  ASSERT_EQ(CurrentName(), "german.lng");
  EXPECT_EQ(LangText(ctx, "soundquest"), "Frage");
  EXPECT_EQ(LangText(ctx, "SoundQuest"), "Frage");
  EXPECT_EQ(LangText(ctx, "onlyenglish"), "from english");  // empty first line: fallback
  EXPECT_EQ(LangLines(ctx, "multi"), "first\r\nsecond");      // empty first line: fallback
  EXPECT_EQ(LangText(ctx, "blank"), "  ");                   // blanks count as found
  EXPECT_EQ(LangLines(ctx, "blank"), "  \r\nnext");
  EXPECT_EQ(LangText(ctx, "onlyrussian"), "");  // not in the English fallback
  EXPECT_EQ(LangText(ctx, "nowhere"), "");
  EXPECT_EQ(LangLines(ctx, "nowhere"), "");
  EXPECT_EQ(JoinedBytes(LangFormatCoded(ctx, "nowhere", {{AnsiText("A")}})), "");
  EXPECT_EQ(JoinedBytes(LangFormatCoded(ctx, "greeting", {{AnsiText("A")}, {AnsiText("B")}})),
            "B sagt hallo zu A");
  EXPECT_EQ(JoinedBytes(LangFormatLinesCoded(ctx, "multi", {{AnsiText("A")}})), "first\r\nsecond");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

TEST_F(LangTest, RussianUsersFallBackToRussian) {
  UseLocale(0x0419);
  LoadStandard({{"german.lng", Lng("G", "1049", "1", "[onlyrussian]\r\n\r\n")}});
  ASSERT_EQ(CurrentName(), "german.lng");
  EXPECT_EQ(LangText(ctx, "onlyrussian"), Cp1251("по-русски"));
  EXPECT_EQ(LangText(ctx, "onlyenglish"), "");
}

// Texts and their code pages, comparable.
std::vector<std::pair<std::string, uint32_t>> Pieces(const CodedText& text) {
  std::vector<std::pair<std::string, uint32_t>> pieces;
  for (const TextPiece& piece : text) pieces.emplace_back(piece.text, piece.codePage);
  return pieces;
}

TEST_F(LangTest, EveryTextKeepsTheCodePageOfItsFileUntilTheBox) {
  // A Russian-locale user who chose the English file: what it lacks comes
  // from the Russian file, in Windows-1251; a path is in the ANSI code page.
  UseLocale(0x0419);
  StoreLangFile("english.lng");
  LoadStandard({{"german.lng", Lng("", "1031")}});
  ASSERT_EQ(CurrentName(), "english.lng");
  const std::string path = Cp1251("C:\\Программы\\Орфа\\");
  const CodedText text = LangFormatCoded(
      ctx, "greeting", {{AnsiText(path)}, {LangTextPiece(ctx, "onlyrussian"), AnsiText("!")}});
  using P = std::vector<std::pair<std::string, uint32_t>>;
  EXPECT_EQ(Pieces(text), (P{{"Hello ", 1252}, {path, kCodePageAnsi}, {", from ", 1252},
                             {Cp1251("по-русски"), 1251}, {"!", kCodePageAnsi}}));
  ShowLangMessage(ctx, text);
  sim.ui.Answer(kIdYes);
  EXPECT_TRUE(AskLangQuestion(ctx, text, {LangTextPiece(ctx, "soundquest")}));
  ASSERT_EQ(Boxes().size(), 2u);
  for (const MessageBoxCall& box : Boxes()) {
    EXPECT_EQ(Pieces(box.request.textPieces), Pieces(text));
    EXPECT_EQ(box.request.text, JoinedBytes(text));
  }
  EXPECT_EQ(Pieces(Boxes()[0].request.captionPieces), (P{{"Orfa update", 1252}}));
  EXPECT_EQ(Pieces(Boxes()[1].request.captionPieces), (P{{"Question", 1252}}));

  // A file without a title takes the fallback file's, in that file's code page.
  StoreLangFile("german.lng");
  sim.ui.Clear();
  ctx.Catalog = MessageCatalog();
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  ASSERT_EQ(CurrentName(), "german.lng");
  EXPECT_EQ(ctx.MessageCodePage, 1252u);
  EXPECT_EQ(ctx.GroupNameRu, kRussianTitle);
  EXPECT_EQ(ctx.GroupNameRuCodePage, 1251u);
}

struct LinesCase {
  const char* name;
  std::string current;   // entry "k" of the current file (after its header)
  std::string fallback;  // entry "k" of the fallback file
  std::string expected;
};

class LangLinesTest : public LangTest, public ::testing::WithParamInterface<LinesCase> {};

TEST_P(LangLinesTest, FallbackRules) {
  const LinesCase& c = GetParam();
  UseLocale(1031);
  Add("english.lng", Lng("E", "1033", "1", c.fallback));
  Add("german.lng", Lng("G", "1031", "1", c.current));
  Order({"english.lng", "german.lng"});
  ASSERT_TRUE(LoadLanguageFiles(ctx));
  ASSERT_EQ(CurrentName(), "german.lng");
  EXPECT_EQ(LangLines(ctx, "k"), c.expected);
  EXPECT_TRUE(Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LangLinesTest,
    ::testing::Values(
        LinesCase{"CurrentLacksKey", "", "[k]\r\nX\r\nY\r\n\r\nZ\r\n", "X\r\nY"},
        LinesCase{"CurrentEmptyFirst", "[k]\r\n\r\nA\r\n", "[k]\r\nX\r\n", "X"},
        LinesCase{"FallbackEmptyFirstReadsOn", "", "[k]\r\n\r\nX\r\nY\r\n\r\nZ\r\n",
                  "\r\nX\r\nY"},
        LinesCase{"FallbackEmptyFirstThenBlank", "", "[k]\r\n\r\n   \r\nX\r\n", ""},
        LinesCase{"FallbackEmptyFirstAtEnd", "", "[k]\r\n", ""},
        LinesCase{"BothLack", "[j]\r\nA\r\n", "[j]\r\nX\r\n", ""}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(LangTest, UnreadableCurrentFileGivesOneBoxPerLookup) {
  UseLocale(1031);
  LoadStandard({{"german.lng", Lng("G", "1031")}});
  const std::string path = std::string(kFolder) + "german.lng";
  sim.files.OpenFails(path, kErrorSharingViolation);
  // The fallback has these keys, but it is not tried.
  EXPECT_EQ(LangText(ctx, "soundquest"), "");
  EXPECT_EQ(LangLines(ctx, "multi"), "");
  EXPECT_EQ(JoinedBytes(LangFormatCoded(ctx, "greeting", {{AnsiText("A")}, {AnsiText("B")}})), "");
  ASSERT_EQ(Boxes().size(), 3u);
  for (const auto& box : Boxes()) {
    ExpectEnglishBox(box, "Can't handle the language support file german.lng");
  }
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

TEST_F(LangTest, WriterHoldingTheFileMakesItUnreadable) {
  LoadStandard();
  const std::string path = std::string(kFolder) + "english.lng";
  {
    HeldFile reader = sim.files.HoldOpen(path, kGenericRead, kShareRead);
    EXPECT_EQ(LangText(ctx, "soundquest"), "Question");
    EXPECT_TRUE(Boxes().empty());
  }
  HeldFile writer = sim.files.HoldOpen(path, kGenericWrite, kShareRead | kShareWrite);
  EXPECT_EQ(LangText(ctx, "soundquest"), "");
  ASSERT_EQ(Boxes().size(), 1u);
}

TEST_F(LangTest, UnreadableFallbackIsNamed) {
  UseLocale(1031);
  LoadStandard({{"german.lng", Lng("G", "1031")}});
  sim.files.ReadFails(std::string(kFolder) + "english.lng", 23);
  EXPECT_EQ(LangText(ctx, "soundquest"), "");
  EXPECT_EQ(LangLines(ctx, "multi"), "");
  EXPECT_EQ(LangText(ctx, "progname"), "G");  // found in the current file: no fallback read
  ASSERT_EQ(Boxes().size(), 2u);
  ExpectEnglishBox(Boxes()[0], "Can't handle the language support file english.lng");
  ExpectEnglishBox(Boxes()[1], "Can't handle the language support file english.lng");
}

TEST_F(LangTest, RussianUserSeesRussianErrorsForAnEnglishFile) {
  UseLocale(0x0419);
  StoreLangFile("english.lng");
  LoadStandard();
  ASSERT_EQ(CurrentName(), "english.lng");
  sim.files.OpenFails(std::string(kFolder) + "english.lng", kErrorAccessDenied);
  EXPECT_EQ(LangText(ctx, "soundquest"), "");
  ASSERT_EQ(Boxes().size(), 1u);
  ExpectRussianBox(Boxes()[0],
                   "Не удаётся работать с файлом языковой поддержки english.lng",
                   "Orfa update");
}

struct ReadOnCase {
  const char* name;
  std::string before;  // the part of the current file read before the failure
  std::string key;
  bool lines;
  std::string expected;
  uint32_t error = 23;  // ERROR_CRC
};

class LangReadErrorTest : public ::testing::TestWithParam<ReadOnCase> {};

TEST_P(LangReadErrorTest, ReportsAndKeepsWhatWasRead) {
  const ReadOnCase& c = GetParam();
  SimWindows sim;
  const std::string path = std::string(kFolder) + "english.lng";
  sim.files.AddFile(path, c.before + "more\r\nlines\r\n\r\n[other]\r\nx\r\n");
  sim.files.ReadFails(path, c.error, c.before.size());
  SetupContext ctx(sim.Get());
  ctx.GroupNameEn = "Orfa update";
  ctx.Catalog.LanguageFiles = {"english.lng"};
  ctx.Catalog.EnglishFileIndex = 0;
  ctx.Catalog.CurrentLanguageIndex = 0;
  ctx.Catalog.CurrentFile = path;

  EXPECT_EQ(c.lines ? LangLines(ctx, c.key) : LangText(ctx, c.key), c.expected);
  ASSERT_EQ(sim.ui.Calls().size(), 1u);
  ExpectEnglishBox(sim.ui.Calls()[0], "Can't handle the language support file english.lng");
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LangReadErrorTest,
    ::testing::Values(
        ReadOnCase{"WhileReadingOn", "[k]\r\nA\r\nB\r\n", "k", true, "A\r\nB"},
        ReadOnCase{"BeforeTheValue", "[k]\r\n", "k", true, ""},
        ReadOnCase{"BeforeTheKey", "[j]\r\nA\r\n", "k", true, ""},
        ReadOnCase{"TextBeforeTheKey", "[j]\r\nA\r\n", "k", false, ""},
        ReadOnCase{"TextBeforeTheValue", "[k]\r\n", "k", false, ""},
        ReadOnCase{"WithoutErrorCode", "[k]\r\nA\r\n", "k", true, "A", sim::SimFileSystem::kFailsWithoutCode}),
    [](const auto& tp) { return std::string(tp.param.name); });

// ---------------------------------------------------------------- boxes

TEST_F(LangTest, LanguageMessageBox) {
  UseLocale(0x0419);
  LoadStandard();
  ShowLangMessage(ctx, {LangTextPiece(ctx, "onlyrussian")});
  ASSERT_EQ(Boxes().size(), 1u);
  const MessageBoxRequest& box = Boxes()[0].request;
  EXPECT_EQ(box.text, Cp1251("по-русски"));
  EXPECT_EQ(box.caption, kRussianTitle);
  EXPECT_EQ(box.style, 0x200010u);
  EXPECT_EQ(box.language, std::optional<uint16_t>(1049));
  EXPECT_EQ(box.codePage, 1251u);
}

TEST_F(LangTest, LanguageIdentifierIsTheLowSixteenBits) {
  UseLocale(1031);
  LoadStandard({{"german.lng", Lng("G", "66567\r\n1031")}});  // 0x10407: sort id 1, German
  ASSERT_EQ(CurrentName(), "german.lng");
  EXPECT_EQ(ctx.MessageLangId, 66567);
  ShowLangMessage(ctx, InFileCodePage("Fehler"));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].request.language, std::optional<uint16_t>(0x0407));
  EXPECT_EQ(Boxes()[0].request.caption, "G");
  EXPECT_EQ(Boxes()[0].request.codePage, 1252u);
}

TEST_F(LangTest, QuestionBox) {
  LoadStandard();
  sim.ui.Answer(kIdYes);
  sim.ui.Answer(kIdNo);
  EXPECT_TRUE(AskLangQuestion(ctx, InFileCodePage("Install?"), {LangTextPiece(ctx, "soundquest")}));
  EXPECT_FALSE(AskLangQuestion(ctx, InFileCodePage("Install?"), InFileCodePage("Question")));
  ASSERT_EQ(Boxes().size(), 2u);
  const MessageBoxRequest& box = Boxes()[0].request;
  EXPECT_EQ(box.text, "Install?");
  EXPECT_EQ(box.caption, "Question");
  EXPECT_EQ(box.style, 0x42024u);
  EXPECT_EQ(box.language, std::optional<uint16_t>(1033));
  EXPECT_EQ(box.codePage, 1252u);
}

TEST_F(LangTest, BilingualErrorFollowsTheLocaleOnly) {
  LoadStandard();
  ShowBilingualError(ctx, "english text", Cp1251("русский текст"));
  UseLocale(0x0444);
  ShowBilingualError(ctx, "english text", Cp1251("русский текст"));
  ASSERT_EQ(Boxes().size(), 2u);
  ExpectEnglishBox(Boxes()[0], "english text");
  // The current file is English; its title is the caption of the Russian box.
  ExpectRussianBox(Boxes()[1], "русский текст", "Orfa update");
  // The text is Windows-1251, the caption in the English file's code page.
  EXPECT_EQ(Boxes()[1].request.codePage, 1251u);
  EXPECT_EQ(Boxes()[1].request.captionCodePage, std::optional<uint32_t>(1252));
}

TEST_F(LangTest, ReportLanguageFileErrorTexts) {
  ReportLanguageFileError(ctx, "C:\\x\\y.lng");
  UseLocale(0x0419);
  ReportLanguageFileError(ctx, "C:\\x\\y.lng");
  ASSERT_EQ(Boxes().size(), 2u);
  ExpectEnglishBox(Boxes()[0], "Can't handle the language support file C:\\x\\y.lng");
  ExpectRussianBox(Boxes()[1], "Не удаётся работать с файлом языковой поддержки C:\\x\\y.lng",
                   kBuiltInTitleRu);
  EXPECT_EQ(Boxes()[1].request.captionCodePage, std::optional<uint32_t>(1251));
}

TEST_F(LangTest, NoFileChosenYet) {
  EXPECT_EQ(LangText(ctx, "progname"), "");
  EXPECT_EQ(LangLines(ctx, "langcode"), "");
  ShowLangMessage(ctx, InFileCodePage("text"));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].request.language, std::optional<uint16_t>(0));
}

}  // namespace
}  // namespace orfa
