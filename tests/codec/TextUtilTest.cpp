// Trimming, padding, ASCII case folding, the numeric-host test and the string list.
#include <gtest/gtest.h>

#include "mail/codec/StringList.h"
#include "mail/codec/TextUtil.h"

using namespace MailVrex;

namespace {

TEST(TrimBlanks, RemovesSpacesOnly) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\t a \r\n"), "\t a \r\n");
  EXPECT_EQ(TrimBlanks("    "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks(std::string(" \0 ", 3)), std::string("\0", 1));
  EXPECT_EQ(TrimLeadingBlanks("  a  "), "a  ");
  EXPECT_EQ(TrimLeadingBlanks("   "), "");
  EXPECT_EQ(TrimBlanksView(" x "), "x");
}

TEST(PadLeftTo, PadsOrCutsToTheWidth) {
  struct Case {
    const char* s;
    int width;
    const char* pad;
    const char* expected;
  };
  const Case cases[] = {
      {" A", 2, "0", "0A"}, {"1F", 2, "0", "1F"}, {"12345", 3, "0", "345"}, {"7", 4, "ab", "abab7"},
      {"", 2, "0", "00"},   {"x", 3, "", "x"},    {"xyz", 0, "0", ""},      {"xyz", -5, "0", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PadLeftTo(c.s, c.width, c.pad), c.expected) << c.s;
}

// The one folding of the library: ASCII letters only, so the bytes of
// double-byte and UTF-8 characters never change or compare equal by accident.
TEST(AsciiCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(CompareIgnoringAsciiCase("ABC", "abc"), 0);
  EXPECT_LT(CompareIgnoringAsciiCase("abc", "abd"), 0);
  EXPECT_GT(CompareIgnoringAsciiCase("b", "A"), 0);
  EXPECT_LT(CompareIgnoringAsciiCase("ab", "abc"), 0);
  EXPECT_NE(CompareIgnoringAsciiCase("\xC4", "\xE4"), 0);
  EXPECT_GT(CompareIgnoringAsciiCase("\xE4", "z"), 0);  // bytes compare unsigned
  EXPECT_TRUE(EqualIgnoringAsciiCase("Content-TYPE", "content-type"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("To", "Tod"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("CONTENT-ID: x", "content-"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("Cont", "content-"));
  EXPECT_EQ(LowerAscii("AbZ\xC4@["), "abz\xC4@[");
  EXPECT_EQ(UpperAscii("azA\xE4`{"), "AZA\xE4`{");
}

TEST(IsNumericHost, AcceptsDigitsAndDotsOnly) {
  struct Case {
    const char* host;
    bool numeric;
  };
  const Case cases[] = {
      {"192.168.0.1", true},
      {"10.1", true},
      {"300.1.1.1", true},
      {"7", true},
      {"99999999999999999999.1", true},
      {"mailhost", false},
      {"", false},
      {"1..2", false},
      {".1.2", false},
      {"1.2.", false},
      {"1.-2", false},
      {"1. 2", false},
      {"+1.2", false},
      {"0x1.2", false},
      {"1.2a", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsNumericHost(c.host), c.numeric) << c.host;
}

TEST(SplitLines, SplitsAtEveryKindOfLineBreak) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(SplitLines("a\n\nb\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\r\n"), (std::vector<std::string>{""}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(SplitLines(std::string("a\0b", 3)), (std::vector<std::string>{std::string("a\0b", 3)}));
}

TEST(JoinLines, EndsEveryEntryWithCrLf) {
  EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLines({}), "");
  EXPECT_EQ(SplitLines(JoinLines({"x", "y"})), (std::vector<std::string>{"x", "y"}));
}

}  // namespace
