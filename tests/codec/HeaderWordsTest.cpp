// Encoded words: packing values that need it, and decoding B, Q and U words
// including malformed ones.
#include <gtest/gtest.h>

#include "mail/codec/HeaderWords.h"
#include "mail/codec/MailError.h"

using namespace MailVrex;

namespace {

TEST(PackHeaderWord, ReturnsPlainAsciiUnchanged) {
  EXPECT_EQ(PackHeaderWord("Hello world_=?", "gb2312"), "Hello world_=?");
  EXPECT_EQ(PackHeaderWord("", "gb2312"), "");
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
      {"=?cs?Q?=3D=3F?=cs?Q?z?=", "z"},  // decoded text forming a new word is decoded too
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
