// The language-file checker (tools/lngcheck) on small files.
#include <gtest/gtest.h>

#include "tools/lngcheck/LngCheck.h"

namespace orfa {
namespace lngcheck {
namespace {

// A complete file: every key the installer looks up.
std::string Complete(const std::string& langcode = "1033") {
  return "[langcode]\r\n" + langcode +
         "\r\n\r\n[langver]\r\n7\r\n[progname]\r\nOrfa\r\n[soundquest]\r\nQ\r\n"
         "[olderfilever]\r\n%1 is newer.\r\nReplace it?\r\n\r\n[noright]\r\nNo rights.\r\n\r\n"
         "[filecantopen]\r\n%1 is in use.\r\n\r\n[liveupdatecaption]\r\nLive\r\n"
         "[accordion]\r\nAccordion\r\n[installask]\r\n%1 installs %2.\r\nGo?\r\n\r\n"
         "[installdone]\r\n%1 done.\r\n[asktorun]\r\nStart?\r\n"
         "[badinstaller]\r\nDamaged.\r\n\r\n[verificationfail]\r\nUnreadable.\r\n";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// An ASCII text as UTF-16 with its byte-order mark, as Notepad saves "Unicode".
std::string Utf16(const std::string& text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return out;
}

std::vector<std::string> Check(const std::string& german, const std::string& english = Complete(),
                               const std::string& folder = "lang") {
  std::vector<LanguageFileText> files = {
      {"lang/english.lng", "english.lng", english},
      {"lang/russian.lng", "russian.lng", Complete("1049")},
      {"lang/german.lng", "german.lng", german},
  };
  CheckOptions options;
  options.folder = folder;
  std::vector<std::string> out;
  for (const Diagnostic& d : CheckLanguageFiles(files, options)) out.push_back(FormatDiagnostic(d));
  return out;
}

TEST(LngCheckTest, CompleteFilesPassAndBangNamesAreSkipped) {
  EXPECT_EQ(Check(Complete("1031")), std::vector<std::string>{});
  // one-line values the installer never reads, each right above the next
  // header: every lookup still finds its own header
  EXPECT_EQ(Check(Replace(Complete("1031"), "[langcode]",
                          "[langname]\r\nDeutsch\r\n[langcharset]\r\n0\r\n[langcode]")),
            std::vector<std::string>{});
  std::vector<LanguageFileText> files = {{"l/english.lng", "english.lng", Complete()},
                                         {"l/russian.lng", "russian.lng", Complete("1049")},
                                         {"l/!old.lng", "!old.lng", "[langver]\r\nx\r\n"}};
  CheckOptions options;
  options.folder = "l";
  EXPECT_TRUE(CheckLanguageFiles(files, options).empty());
}

TEST(LngCheckTest, FaultsAreNamedWithTheirLines) {
  struct Case {
    std::string from, to, expected;
  };
  const Case cases[] = {
      // the blank line after a multi-line value is missing: both lines named
      {"Replace it?\r\n\r\n[noright]", "Replace it?\r\n[noright]",
       "lang/german.lng:13: error: the multi-line value of \"[olderfilever]\" (line 10) runs "
       "into the header on line 13"},
      {"1031\r\n\r\n", "1031\r\n", "lang/german.lng:3: error: the multi-line value of "
                                   "\"[langcode]\" (line 1) runs into the header on line 3"},
      // a value the installer never reads: the product may read it as lines
      {"[langcode]", "[ProgDescr0]\r\nOne\r\nTwo\r\n[langcode]",
       "lang/german.lng:4: warning: the value of \"[ProgDescr0]\" (line 1) runs into the header "
       "on line 4 with no blank line before it: the installer never reads that value"},
      {"[langver]\r\n7", "[langver]\r\n7a",
       "lang/german.lng:5: error: \"[langver]\" value \"7a\" is not a decimal integer"},
      {"1031\r\n", "1031\r\n10x1\r\n",
       "lang/german.lng:3: error: \"[langcode]\" line \"10x1\" is not a decimal integer"},
      {"1031", "99999", "lang/german.lng:2: warning: \"[langcode]\" 99999 names no locale"},
      {"%1 installs %2.", "%1 installs %2 %3.",
       "lang/german.lng:25: error: \"%3\" in \"[installask]\": the installer supplies 2 texts"},
      {"%1 installs %2.", "It installs %2.",
       "lang/german.lng:24: error: \"[installask]\" does not use \"%1\": the placeholders after"},
      {"%1 done.", "Done.", "lang/german.lng:28: warning: \"[installdone]\" does not use \"%1\""},
      {"Start?", "Start %1?", "lang/german.lng:31: error: \"%1\" in \"[asktorun]\": the "
                              "installer supplies no texts"},
      {"Start?", "Start\x81?", "lang/german.lng:31: error: byte 0x81 (column 6) is not defined "
                               "in code page 1252"},
      // byte-order marks: the one cause instead of garbled texts or every key missing
      {"[langcode]", "\xEF\xBB\xBF[langname]\r\nDeutsch \xC3\xA4\r\n[langcode]",
       "lang/german.lng:1: error: the file is UTF-8 (it starts with the byte-order mark EF BB BF): "
       "the installer does not convert it but reads its bytes in code page 1252, by its "
       "\"[langcode]\" 1031, so every letter outside ASCII shows garbled; save it in that code "
       "page, without the mark"},
      {"[langcode]", "\xEF\xBB\xBF[langname]\r\nDeutsch\r\n\r\n[langcode]",
       "lang/german.lng:1: warning: the file is UTF-8 (it starts with the byte-order mark EF BB "
       "BF): the installer does not convert it but reads its bytes in code page 1252, by its "
       "\"[langcode]\" 1031; it is read right only because it is all ASCII"},
      {Complete("1031"), Utf16(Complete("1031"), false),
       "lang/german.lng:1: error: the file is UTF-16 LE (it starts with the byte-order mark FF FE): "
       "the installer reads 8-bit text, where zero bytes split every header, so it finds none of "
       "this file's entries and takes every text, \"[langcode]\" included, from the fallback "
       "file english.lng (russian.lng for Russian-locale users); save it as 8-bit text in code "
       "page 1252, which the installer takes by its \"[langcode]\" 1031, without the mark"},
      {Complete("1031"), Utf16(Complete("1031"), true),
       "lang/german.lng:1: error: the file is UTF-16 BE (it starts with the byte-order mark FE FF)"},
      {"[asktorun]\r\nStart?\r\n", "",
       "lang/german.lng:1: warning: \"[asktorun]\" is missing: it will come from the fallback "
       "file english.lng"},
      // an empty first value line counts as missing
      {"[accordion]\r\nAccordion", "[accordion]\r\n",
       "lang/german.lng:1: warning: \"[accordion]\" is missing"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> out = Check(Replace(Complete("1031"), c.from, c.to));
    ASSERT_EQ(out.size(), 1u) << c.expected << "\n" << ::testing::PrintToString(out);
    EXPECT_EQ(out[0].substr(0, c.expected.size()), c.expected);
  }
}

TEST(LngCheckTest, FallbackFilesAndRequiredFiles) {
  const std::string noAsk = Replace(Complete(), "[asktorun]\r\nStart?\r\n", "");
  // missing in the fallback file itself, and so in a file that relies on it
  const std::vector<std::string> out = Check(noAsk, noAsk);
  ASSERT_EQ(out.size(), 2u) << ::testing::PrintToString(out);
  EXPECT_EQ(out[0].rfind("lang/english.lng:1: error: \"[asktorun]\" is missing from the "
                         "fallback file english.lng", 0), 0u);
  EXPECT_EQ(out[1].rfind("lang/german.lng:1: error: \"[asktorun]\" is missing here and in "
                         "english.lng", 0), 0u);

  // a fallback file in UTF-16: its own users get no "[langcode]" at all
  const std::vector<std::string> wide = Check(Complete("1031"), Utf16(Complete(), false));
  ASSERT_EQ(wide.size(), 1u) << ::testing::PrintToString(wide);
  EXPECT_NE(wide[0].find("lang/english.lng:1: error: the file is UTF-16 LE"), std::string::npos);
  EXPECT_NE(wide[0].find("english.lng is the fallback file of all but Russian-locale users: for "
                         "them the installer finds no \"[langcode]\" and reports that the file "
                         "contains errors"), std::string::npos);
  // a UTF-8 mark before the first header hides it from the installer
  const std::vector<std::string> marked = Check("\xEF\xBB\xBF" + Complete("1031"));
  ASSERT_EQ(marked.size(), 2u) << ::testing::PrintToString(marked);
  EXPECT_EQ(marked[0].rfind("lang/german.lng:1: warning: \"[langcode]\" is missing", 0), 0u);
  EXPECT_NE(marked[1].find("error: the file is UTF-8 (it starts with the byte-order mark EF BB "
                           "BF): the installer does not convert it but reads its bytes in code "
                           "page 1252, by the fallback file english.lng's \"[langcode]\" 1033, "
                           "and the mark hides the header \"[langcode]\" on line 1; save it as "
                           "8-bit text in its language's code page"),
            std::string::npos);

  std::vector<LanguageFileText> onlyGerman = {{"l/german.lng", "german.lng", Complete("1031")}};
  CheckOptions options;
  options.folder = "l";
  std::vector<std::string> missing;
  for (const Diagnostic& d : CheckLanguageFiles(onlyGerman, options)) {
    if (d.path == "l") missing.push_back(FormatDiagnostic(d));
  }
  EXPECT_EQ(missing, (std::vector<std::string>{
                         "l:1: error: no english.lng: the installer refuses to run without it",
                         "l:1: error: no russian.lng: the installer refuses to run without it"}));
}

TEST(LngCheckTest, CodePagesFollowTheFirstLocale) {
  EXPECT_EQ(CodePageOfLocale(1049), 1251u);
  EXPECT_EQ(CodePageOfLocale(1033), 1252u);
  EXPECT_EQ(CodePageOfLocale(1045), 1250u);
  EXPECT_EQ(CodePageOfLocale(0x0C1A), 1251u);  // Serbian, Cyrillic
  EXPECT_EQ(CodePageOfLocale(0), 0u);
  // 0x98 is undefined in 1251 only; 0x81 is defined in 1251 only
  EXPECT_TRUE(Check(Replace(Complete("1049"), "Start?", "\x81")).empty());
  EXPECT_EQ(Check(Replace(Complete("1049"), "Start?", "\x98")).size(), 1u);
}

}  // namespace
}  // namespace lngcheck
}  // namespace orfa
