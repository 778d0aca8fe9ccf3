// Dotted version texts, integer texts and the path helpers of the installer.
#include <gtest/gtest.h>

#include "core/Text.h"
#include "install/Payload.h"
#include "install/Versions.h"

namespace orfa {
namespace {

struct OlderCase {
  const char* newText;
  const char* oldText;
  bool older;
};

TEST(IsOlderVersionText, ComparesPartByPartAsSignedNumbers) {
  const OlderCase cases[] = {
      {"1.2.3.4", "1.2.3.4", false},
      {"1.2.3.4", "1.2.3.10", true},
      {"2.0.0.0", "1.99.0.0", false},
      {"1.9.0.0", "1.10.0.0", true},
      {"1.10.0.0", "1.9.0.0", false},
      {"1.2.3.beta", "1.2.3.4", true},
      {"1.2.3.4", "1.2.3.beta", false},
      {"alpha.1.0.0", "beta.1.0.0", false},  // the old text is looked at first
      {"-1.0.0.0", "0.0.0.0", true},
      {"0.0.0.0", "-1.0.0.0", false},
      {"$F.0.0.0", "16.0.0.0", true},
      {"5.2.0.14", "5.2.0.9", false},
  };
  for (const OlderCase& c : cases) {
    EXPECT_EQ(IsOlderVersionText(c.newText, c.oldText), c.older)
        << c.newText << " against " << c.oldText;
  }
}

TEST(IsOlderVersionText, MissingPartsCountAsZero) {
  const OlderCase cases[] = {
      {"1.2", "1.2.0.0", false},
      {"1.2.0.0", "1.2", false},
      {"1.2", "1.2.0.1", true},
      {"1.2.0.1", "1.2", false},
      {"1", "2", true},
      {"2", "1.5.0.0", false},
      {"1.2.3", "1.2.3.0", false},
      {"1.2.3", "1.2.3.1", true},
  };
  for (const OlderCase& c : cases) {
    EXPECT_EQ(IsOlderVersionText(c.newText, c.oldText), c.older)
        << c.newText << " against " << c.oldText;
  }
}

TEST(IsOlderVersionText, EmptyPartIsNoNumber) {
  const OlderCase cases[] = {
      {"1..2.3", "1.0.2.3", true},
      {"1.0.2.3", "1..2.3", false},
      {"", "1.0.0.0", true},
      {"1.0.0.0", "", false},
      {"1.2.", "1.2.0.0", true},
  };
  for (const OlderCase& c : cases) {
    EXPECT_EQ(IsOlderVersionText(c.newText, c.oldText), c.older)
        << "'" << c.newText << "' against '" << c.oldText << "'";
  }
}

TEST(ParseIntegerText, AcceptsDecimalAndHexadecimalForms) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0", 0},
      {"123", 123},
      {"   12", 12},
      {"+5", 5},
      {"-5", -5},
      {"$1F", 31},
      {"x1f", 31},
      {"X1F", 31},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-$10", -16},
      {" -0x10", -16},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"0x7FFFFFFF", 2147483647},
      {"-0x80000000", INT32_MIN},
  };
  for (const auto& c : cases) {
    int32_t value = 12345;
    EXPECT_TRUE(ParseIntegerText(c.text, &value)) << "'" << c.text << "'";
    EXPECT_EQ(value, c.value) << "'" << c.text << "'";
  }
}

TEST(ParseIntegerText, RejectsEverythingElse) {
  const char* const cases[] = {
      "",          " ",          "12 ",        "a",          "1.5",        "+",
      "-",         "+-1",        "--1",        " + 1",       "\t1",        "$",
      "0x",        "x",          "$G",         "0x1G",       "00x1",       "2147483648",
      "-2147483649", "0x80000000", "0xFFFFFFFF", "99999999999999999999", "0x100000000",
  };
  for (const char* text : cases) {
    int32_t value = 12345;
    EXPECT_FALSE(ParseIntegerText(text, &value)) << "'" << text << "'";
    EXPECT_EQ(value, 12345) << "'" << text << "'";
  }
}

TEST(TempNameFor, PutsTildeBeforeTheFileName) {
  const struct {
    const char* path;
    const char* temp;
  } cases[] = {
      {"C:\\Orfa\\orfm.cok", "C:\\Orfa\\~orfm.cok"},
      {"orfm.cok", "~orfm.cok"},
      {"", "~"},
      {"C:\\Orfa\\", "C:\\~Orfa\\"},  // the last character is not looked at
      {"\\x", "\\~x"},
      {"C:/Orfa/orfm.cok", "~C:/Orfa/orfm.cok"},  // only "\" separates
  };
  for (const auto& c : cases) EXPECT_EQ(TempNameFor(c.path), c.temp) << c.path;
}

TEST(AppendBackslash, AddsOneBackslashToNonEmptyTexts) {
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {"", ""}, {"C:", "C:\\"}, {"C:\\", "C:\\"}, {"Orfa", "Orfa\\"}, {"\\\\", "\\\\"},
  };
  for (const auto& c : cases) {
    std::string text = c.before;
    AppendBackslash(text);
    EXPECT_EQ(text, c.after) << c.before;
  }
}

}  // namespace
}  // namespace orfa
