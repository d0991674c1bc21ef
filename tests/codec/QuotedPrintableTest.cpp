// Quoted-printable: the escape and soft-break rules of both encoder modes, the
// decoder's treatment of well-formed and malformed escapes, and round trips.
#include <gtest/gtest.h>

#include "mail/codec/QuotedPrintable.h"
#include "tests/codec/CodecTestData.h"

using namespace MailVrex;

namespace {

TEST(TextToQP, BreaksBodyLinesAfterSeventyTwoColumns) {
  EXPECT_EQ(TextToQP(std::string(80, 'a'), false),
            std::string(72, 'a') + "=\r\n" + std::string(8, 'a'));
}

TEST(TextToQP, CountsAnEscapeAsThreeColumns) {
  // 70 letters and one escape reach column 73, so the break follows the escape.
  EXPECT_EQ(TextToQP(std::string(70, 'a') + "\xE9" + "b", false),
            std::string(70, 'a') + "=E9=\r\nb");
}

TEST(TextToQP, RestartsTheColumnAfterALineBreak) {
  std::string line(60, 'a');
  std::string data = line + "\r\n" + std::string(72, 'b') + "c";
  EXPECT_EQ(TextToQP(data, false), line + "\r\n" + std::string(72, 'b') + "=\r\nc");
}

TEST(TextToQP, EscapesTheBytesEachModeReserves) {
  struct Case {
    std::string data, body, header;
  };
  const std::string nul(1, '\0');
  const Case cases[] = {
      {"=", "=3D", "=3D"},        {"\xE9", "=E9", "=E9"}, {"a b", "a b", "a=20b"},
      {"_", "_", "=5F"},          {"\"", "\"", "=22"},    {"?", "?", "?"},
      {"\ta", "\ta", "=09a"},     {"\n", "=0A", "=0A"},   {nul, "=00", "=00"},
      {"~\x7F", "~=7F", "~\x7F"}, {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToQP(c.data, false), c.body) << c.data;
    EXPECT_EQ(TextToQP(c.data, true), c.header) << c.data;
  }
}

// RFC 2045 rules 1 to 3 in body mode: only CR LF pairs stand as line breaks, blanks never end
// a line, and no line reaches 76 characters.
TEST(TextToQP, BodyModeWritesOnlyCrLfLineBreaksAndNoBlankAtALineEnd) {
  struct Case {
    const char* name;
    std::string data, body;
  };
  const Case cases[] = {
      {"line break", "a\r\nb", "a\r\nb"},
      {"lone CR", "a\rb\r", "a=0Db=0D"},
      {"lone LF", "a\nb\n", "a=0Ab=0A"},
      {"LF CR", "a\n\rb", "a=0A=0Db"},
      {"CR CR LF", "a\r\r\n", "a=0D\r\n"},
      {"space before a line break", "a \r\nb", "a=20\r\nb"},
      {"tab at the end", "a\t", "a=09"},
      {"blanks inside", "a \tb", "a \tb"},
      {"only a blank line", " \r\n\t\r\n", "=20\r\n=09\r\n"},
      {"blank before the soft break", std::string(71, 'a') + " bc",
       std::string(71, 'a') + " =\r\nbc"},
      {"no soft break before a line break", std::string(72, 'a') + "\r\nb",
       std::string(72, 'a') + "\r\nb"},
      {"escaped blank at column 71", std::string(71, 'a') + " \r\n",
       std::string(71, 'a') + "=20\r\n"},
      {"no soft break at the end", std::string(72, 'a'), std::string(72, 'a')},
  };
  for (const auto& c : cases) EXPECT_EQ(TextToQP(c.data, false), c.body) << c.name;
}

TEST(TextToQP, HeaderModeNeverBreaksTheLine) {
  EXPECT_EQ(TextToQP(std::string(200, '\xE9'), true).find('\r'), std::string::npos);
}

TEST(QPToText, DecodesEscapesAndRemovesSoftBreaks) {
  struct Case {
    const char* encoded;
    std::string text;
  };
  const Case cases[] = {
      {"a=3D=\r\n41", "a=41"},                    // a decoded "=" starts no new escape
      {"caf=E9", "caf\xE9"},   {"=3d", "=3d"},    // lower-case digits are not escapes
      {"abc=", "abc"},         {"ab=4", "ab=4"},  // one character after the final "=" stays
      {"a=\n\rb", "ab"},       {"a=\rb", "ab"},  {"a=\nb", "ab"}, {"a= b", "a= b"},
      {"a=G1", "a=G1"},        {"==41", "=A"},   {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(QPToText(c.encoded), c.text) << c.encoded;
}

TEST(QuotedPrintable, BodyModeRoundTripsRandomData) {
  for (std::size_t size = 0; size < 600; ++size) {
    std::string data = codec_test::RandomBytes(size, static_cast<std::uint32_t>(size) + 5);
    ASSERT_EQ(QPToText(TextToQP(data, false)), data) << "size " << size;
  }
  std::string large = codec_test::RandomBytes(1 << 20, 17);
  EXPECT_EQ(QPToText(TextToQP(large, false)), large);
}

TEST(QuotedPrintable, HeaderModeRoundTripsRandomData) {
  for (std::size_t size = 0; size < 300; ++size) {
    std::string data = codec_test::RandomBytes(size, static_cast<std::uint32_t>(size) + 9);
    ASSERT_EQ(QPToText(TextToQP(data, true)), data) << "size " << size;
  }
}

}  // namespace
