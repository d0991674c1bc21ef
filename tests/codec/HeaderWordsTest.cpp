// Encoded words: packing values that need it, and decoding B, Q and U words
// including malformed ones.
#include <gtest/gtest.h>

#include "mail/codec/HeaderWords.h"
#include "mail/codec/MailError.h"

using namespace MailVrex;

namespace {

TEST(PackHeaderWord, ReturnsPlainAsciiUnchanged) {
  EXPECT_EQ(PackHeaderWord("Hello world_?= \"a, b\"; (c) ~", "gb2312"),
            "Hello world_?= \"a, b\"; (c) ~");
  EXPECT_EQ(PackHeaderWord("", "gb2312"), "");
}

// What a reader would not take as it stands: text that looks like an encoded
// word, blanks that header lines lose at the ends, DEL.
TEST(PackHeaderWord, EncodesPlainTextThatWouldNotArriveAsGiven) {
  struct Case {
    const char* value;
    const char* word;
  };
  const Case cases[] = {
      {"=?utf-8?B?SGVsbG8=?=", "=?cs?Q?=3D=3Futf-8=3FB=3FSGVsbG8=3D=3F=3D?="},
      {" lead", "=?cs?Q?=20lead?="},
      {"trail ", "=?cs?Q?trail=20?="},
      {"del\x7F", "=?cs?Q?del=7F?="},
  };
  for (const auto& c : cases) EXPECT_EQ(PackHeaderWord(c.value, "cs"), c.word) << c.value;
}

// Only letters, digits and "!*+-/" stay: a "?=" in the text cannot end the
// word, and no blank, comma or semicolon offers a fold point inside it.
TEST(PackHeaderWord, EscapesEverythingButTheSafeSet) {
  EXPECT_EQ(PackHeaderWord("Caf\xE9?=ok", "gb2312"), "=?gb2312?Q?Caf=E9=3F=3Dok?=");
  EXPECT_EQ(PackHeaderWord("\xE9 ,;:\"()<>_.=!*+-/aZ9", "cs"),
            "=?cs?Q?=E9=20=2C=3B=3A=22=28=29=3C=3E=5F=2E=3D!*+-/aZ9?=");
}

TEST(PackHeaderWord, RefusesACharsetThatIsNoMimeToken) {
  for (const char* charset : {"", "gb2312\"; x=y"}) {
    try {
      PackHeaderWord("\xE9", charset);
      ADD_FAILURE() << "accepted " << charset;
    } catch (const MailError& error) {
      EXPECT_EQ(std::string(error.what()), std::string("Invalid charset: ") + charset);
    }
  }
  EXPECT_EQ(PackHeaderWord("plain", "a;b"), "plain");  // not written, so not refused
}

TEST(PackHeaderWord, EncodesTheWholeValueAsOneQWord) {
  EXPECT_EQ(PackHeaderWord("caf\xE9 au lait", "gb2312"), "=?gb2312?Q?caf=E9=20au=20lait?=");
  EXPECT_EQ(PackHeaderWord("tab\there", "utf-8"), "=?utf-8?Q?tab=09here?=");
  std::string longValue(100, '\xB0');
  EXPECT_EQ(PackHeaderWord(longValue, "gb2312").size(), 300u + 13u);
}

TEST(UnpackHeaderWords, DecodesEachKindOfWord) {
  struct Case {
    const char* value;
    std::string text;
  };
  const Case cases[] = {
      {"=?gb2312?B?YWJj?= x", "abc x"},
      {"=?gb2312?Q?a_b?=", "a b"},
      {"=?gb2312?q?caf=E9?=", "caf\xE9"},
      {"=?gb2312?X?a_b?=", "a b"},  // unknown letters decode as Q
      {"=?gb2312?U?#0V%T?=", "Cat"},
      {"=?gb2312?b?YWJj?=", "abc"},
      {"=?cs?Q?=3Dx?=", "=x"},  // a text that begins with "=" keeps its word whole
      {"=?cs?Q?"
       "?=",
       ""},                                  // empty text
      {"=?cs?B?YQBj?=", "a"},                // B stops at the first NUL
      {"  =?cs?Q?a?= =?cs?Q?b?=  ", "a b"},  // trimmed; the space between words stays
      {"x =?cs?", "x =?cs?"},                // unterminated words stay
      {"x =?cs?Q?abc", "x =?cs?Q?abc"},
      {"=?cs?=", "=?cs?="},
      {"no words", "no words"},
      {"=?cs?Q?=3D=3F?=cs?Q?z?=", "=?cs?Q?z?="},  // decoded text is never decoded again
      {"x=?cs?Q?=3Fa?=b?=", "x?ab?="},
  };
  for (const auto& c : cases) EXPECT_EQ(UnpackHeaderWords(c.value), c.text) << c.value;
}

TEST(UnpackHeaderWords, RaisesTheUuencodeErrorForABadUWord) {
  EXPECT_THROW(UnpackHeaderWords("=?cs?U?#0v%t?="), MailError);
}

TEST(UnpackHeaderWords, ReversesPackHeaderWord) {
  std::string value =
      "Gr\xFC\xDF"
      "e, \"Freunde\" & _alle_ = 100%\t!";
  EXPECT_EQ(UnpackHeaderWords(PackHeaderWord(value, "iso-8859-1")), value);
}

}  // namespace
