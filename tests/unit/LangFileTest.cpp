// Reading entries of language files, filling placeholders, decimal texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lang/Lang.h"
#include "lang/LangFile.h"
#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

const char kPath[] = "C:\\Orfa\\language\\test.lng";

struct EntryCase {
  const char* name;
  std::string content;
  const char* key;
  EntryShape shape;
  EntryStatus status;
  std::string value;
};

class LangEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(LangEntryTest, ReadsTheEntry) {
  const EntryCase& c = GetParam();
  SimWindows sim;
  sim.files.AddFile(kPath, c.content);
  EntryResult result = ReadLanguageEntry(sim.files, kPath, c.key, c.shape);
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.value, c.value);
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

constexpr EntryShape kOne = EntryShape::SingleLine;
constexpr EntryShape kLines = EntryShape::Lines;
constexpr EntryShape kLinesStrict = EntryShape::LinesEmptyFirstMissing;
constexpr EntryStatus kFound = EntryStatus::Found;
constexpr EntryStatus kMissing = EntryStatus::Missing;

INSTANTIATE_TEST_SUITE_P(
    Headers, LangEntryTest,
    ::testing::Values(
        EntryCase{"Plain", "[progname]\r\nOrfa\r\n", "progname", kOne, kFound, "Orfa"},
        EntryCase{"CaseOfHeader", "[ProgName]\r\nOrfa\r\n", "progname", kOne, kFound, "Orfa"},
        EntryCase{"CaseOfKey", "[progname]\nOrfa\n", "PROGNAME", kOne, kFound, "Orfa"},
        EntryCase{"TrailingWords", "[ProgName] of the product\nOrfa\n", "progname", kOne, kFound,
                  "Orfa"},
        EntryCase{"TrailingControls", "[progname] \t\x01\nOrfa\n", "progname", kOne, kFound,
                  "Orfa"},
        EntryCase{"OtherWordsInside", "[my progname]\nOrfa\n", "progname", kOne, kMissing, ""},
        EntryCase{"LongerKey", "[prognamex]\nOrfa\n", "progname", kOne, kMissing, ""},
        EntryCase{"BlankBeforeBracket", " [progname]\nOrfa\n", "progname", kOne, kMissing, ""},
        EntryCase{"TabBeforeBracket", "\t[progname]\nOrfa\n", "progname", kOne, kMissing, ""},
        EntryCase{"KeyAsValueText", "progname]\nOrfa\n", "progname", kOne, kMissing, ""},
        EntryCase{"FirstHeaderWins", "[k]\nfirst\n\n[K]\nsecond\n", "k", kOne, kFound, "first"},
        EntryCase{"FreeTextSkipped", "notes\n[other]\nx\n\n[k]\nv\n", "k", kOne, kFound, "v"},
        // Only A to Z change case; a byte above 127 must match itself.
        EntryCase{"HighBytesExact", "[\xC0\xE1]\nv\n", "\xC0\xE1", kOne, kFound, "v"},
        EntryCase{"HighBytesNotFolded", "[\xE0\xE1]\nv\n", "\xC0\xE1", kOne, kMissing, ""},
        EntryCase{"HeaderOnLastLine", "[k]", "k", kOne, kFound, ""},
        EntryCase{"EmptyFile", "", "k", kOne, kMissing, ""}),
    [](const auto& tp) { return std::string(tp.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Values, LangEntryTest,
    ::testing::Values(
        EntryCase{"ValueKeepsBlanks", "[k]\n  two  words \n", "k", kOne, kFound, "  two  words "},
        EntryCase{"SingleLineOnlyFirst", "[k]\nA\nB\n", "k", kOne, kFound, "A"},
        EntryCase{"MultiLine", "[k]\nA\nB\n\nC\n", "k", kLines, kFound, "A\r\nB"},
        EntryCase{"MultiLineToEnd", "[k]\nA\nB", "k", kLines, kFound, "A\r\nB"},
        EntryCase{"BlankLineOfSpaces", "[k]\nA\n  \t \nB\n", "k", kLines, kFound, "A"},
        EntryCase{"BlankLineOfControls", "[k]\nA\n\x01\x1F\nB\n", "k", kLines, kFound, "A"},
        EntryCase{"HighByteLineNotBlank", "[k]\nA\n\xA0\nB\n", "k", kLines, kFound,
                  "A\r\n\xA0\r\nB"},
        EntryCase{"RunsIntoNextHeader", "[k]\nA\n[n]\nB\n\nC\n", "k", kLines, kFound,
                  "A\r\n[n]\r\nB"},
        EntryCase{"FirstLineOfBlanksFound", "[k]\n   \nA\n", "k", kLines, kFound, "   \r\nA"},
        EntryCase{"CrLf", "[k]\r\nA\r\nB\r\n\r\nC\r\n", "k", kLines, kFound, "A\r\nB"},
        EntryCase{"LoneCrDropped", "[k]\r\nA\rB\r\nC\r\n", "k", kLines, kFound, "AB\r\nC"},
        EntryCase{"LoneCrInHeader", "[k\r]\nv\n", "k", kOne, kFound, "v"},
        EntryCase{"MixedBreaks", "[k]\nA\r\nB\n\r\nC", "k", kLines, kFound, "A\r\nB"},
        EntryCase{"EmptyFirstLineIsMissing", "[k]\n\nA\n", "k", kLinesStrict, kMissing, ""},
        EntryCase{"EmptyFirstLineReadsOn", "[k]\n\nA\nB\n\nC\n", "k", kLines, kFound,
                  "\r\nA\r\nB"},
        EntryCase{"EmptyFirstLineThenBlank", "[k]\n\n\nA\n", "k", kLines, kFound, ""},
        EntryCase{"EmptyFirstLineAtEnd", "[k]\n", "k", kLines, kFound, ""}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(LangEntry, AnyFileIsReadOnceWhateverItsLinesHold) {
  // Lines of megabytes that look like headers, and no line breaks at all:
  // every lookup reads the file once, and finds what it would in a small one.
  std::string bracketed = "[";
  while (bracketed.size() < (4u << 20)) bracketed += "progname [k] ";
  const struct {
    const char* name;
    std::string content;
    EntryStatus status;
    std::string value;
  } cases[] = {
      {"one huge line", bracketed, EntryStatus::Missing, ""},
      {"huge line, then the key", bracketed + "\r\n[k]\r\nv\r\n", EntryStatus::Found, "v"},
      {"huge value", "[k]\n" + bracketed + "\n\nrest\n", EntryStatus::Found, bracketed},
      {"no breaks", std::string(4u << 20, '['), EntryStatus::Missing, ""},
  };
  for (const auto& c : cases) {
    SimWindows sim;
    sim.files.AddFile(kPath, c.content);
    const EntryResult result = ReadLanguageEntry(sim.files, kPath, "k", EntryShape::Lines);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_TRUE(result.value == c.value) << c.name;
    EXPECT_LE(sim.files.BytesRead(), c.content.size()) << c.name;
  }
}

TEST(LangEntry, LongLinesAcrossReadBuffers) {
  SimWindows sim;
  const std::string filler(70000, 'x');
  const std::string longValue(100000, 'y');
  sim.files.AddFile(kPath, "[a]\n" + filler + "\n\n[k]\n" + longValue + "\nsecond\n");
  EntryResult result = ReadLanguageEntry(sim.files, kPath, "k", EntryShape::Lines);
  EXPECT_EQ(result.status, EntryStatus::Found);
  EXPECT_EQ(result.value, longValue + "\r\nsecond");
}

TEST(LangEntry, OpensForReadingWhileOthersMayOnlyRead) {
  SimWindows sim;
  sim.files.AddFile(kPath, "[k]\nv\n");
  {
    // Another reader that lets others read: the lookup goes ahead.
    HeldFile reader = sim.files.HoldOpen(kPath, kGenericRead, kShareRead);
    EXPECT_EQ(ReadLanguageEntry(sim.files, kPath, "k", EntryShape::SingleLine).value, "v");
  }
  {
    // A writer, even one that shares everything: the lookup must deny writing.
    HeldFile writer = sim.files.HoldOpen(kPath, kGenericWrite, kShareRead | kShareWrite);
    EXPECT_EQ(ReadLanguageEntry(sim.files, kPath, "k", EntryShape::SingleLine).status,
              EntryStatus::Failed);
  }
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

TEST(LangEntry, MissingAndUnreadableFilesFail) {
  SimWindows sim;
  EXPECT_EQ(ReadLanguageEntry(sim.files, kPath, "k", EntryShape::SingleLine).status,
            EntryStatus::Failed);
  sim.files.AddFile(kPath, "[k]\nv\n");
  sim.files.ReadFails(kPath, 23);
  EXPECT_EQ(ReadLanguageEntry(sim.files, kPath, "k", EntryShape::Lines).status,
            EntryStatus::Failed);
  EXPECT_EQ(sim.files.LogicHandleCount(), 0u);
}

// ---------------------------------------------------------------- placeholders

struct FormatCase {
  std::string text;
  std::vector<std::string> texts;
  std::string expected;
};

// The bytes of a message filled with texts, each one piece in the ANSI code page.
std::string Filled(const std::string& text, const std::vector<std::string>& texts) {
  std::vector<CodedText> pieces;
  for (const std::string& piece : texts) pieces.push_back({AnsiText(piece)});
  return JoinedBytes(FillPlaceholders(AnsiText(text), pieces));
}

class LangPlaceholderTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(LangPlaceholderTest, Fills) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(Filled(c.text, c.texts), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LangPlaceholderTest,
    ::testing::Values(
        FormatCase{"%2 of %1", {"A", "B"}, "B of A"},
        FormatCase{"%1 and %3", {"A", "B", "C"}, "A and %3"},  // no %2: stop
        FormatCase{"%2 alone", {"A", "B"}, "%2 alone"},        // no %1: nothing
        FormatCase{"%1 and %1", {"X"}, "X and X"},
        FormatCase{"%4%3%2%1", {"a", "b", "c", "d"}, "dcba"},
        FormatCase{"%1", {"%2", "B"}, "%2"},         // a replacement is taken as it is
        FormatCase{"In %1: %2", {"C:\\Sales 100%2\\", "x"}, "In C:\\Sales 100%2\\: x"},
        FormatCase{"%2%1", {"%1", "%2"}, "%2%1"},
        FormatCase{"%1!", {"%1"}, "%1!"},            // a replacement is not searched again
        FormatCase{"%1 %2 %3", {"A"}, "A %2 %3"},    // more placeholders than texts: kept
        FormatCase{"%10", {"A"}, "A0"},              // exact two-character match
        FormatCase{"%p1 %P", {"A"}, "%p1 %P"},
        FormatCase{"", {"A"}, ""},
        FormatCase{"%1\r\n%2", {"line", ""}, "line\r\n"}));

TEST(LangPlaceholders, LongTextIsFilledInOnePass) {
  // Quadratic filling would take minutes here.
  std::string text;
  for (int i = 0; i < 160000; ++i) text += "%1";
  const std::string filled = Filled(text, {"C:\\%1%2\\"});
  ASSERT_EQ(filled.size(), 160000u * 8);
  EXPECT_EQ(filled.substr(0, 16), "C:\\%1%2\\C:\\%1%2\\");
}

// ---------------------------------------------------------------- decimal texts

struct DecimalCase {
  std::string text;
  bool ok;
  int32_t value;
};

class LangDecimalTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(LangDecimalTest, Parses) {
  const DecimalCase& c = GetParam();
  int32_t value = 12345;
  EXPECT_EQ(ParseDecimal(c.text, &value), c.ok) << "'" << c.text << "'";
  if (c.ok) {
    EXPECT_EQ(value, c.value) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LangDecimalTest,
    ::testing::Values(DecimalCase{"0", true, 0}, DecimalCase{"1049", true, 1049},
                      DecimalCase{"   2073", true, 2073}, DecimalCase{"-5", true, -5},
                      DecimalCase{"+7", true, 7}, DecimalCase{" -0012", true, -12},
                      DecimalCase{"2147483647", true, 2147483647},
                      DecimalCase{"-2147483648", true, INT32_MIN},
                      DecimalCase{"", false, 0}, DecimalCase{"   ", false, 0},
                      DecimalCase{"-", false, 0}, DecimalCase{"+-1", false, 0},
                      DecimalCase{"- 1", false, 0}, DecimalCase{"1049 ", false, 0},
                      DecimalCase{"10x", false, 0}, DecimalCase{"1.0", false, 0},
                      DecimalCase{"\t5", false, 0}, DecimalCase{"0x10", false, 0},
                      DecimalCase{"$10", false, 0},
                      DecimalCase{"2147483648", false, 0},
                      DecimalCase{"-2147483649", false, 0},
                      DecimalCase{"99999999999999999999999", false, 0}));

}  // namespace
}  // namespace orfa
