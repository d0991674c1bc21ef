// Quoted strings, the quote scan, MIME tokens and the mail address rule.
#include <gtest/gtest.h>

#include "mail/codec/HeaderQuoting.h"
#include "mail/codec/MailAddress.h"

using namespace MailVrex;

namespace {

TEST(QuotedString, EscapesQuoteAndBackslashAndReadsBackWhole) {
  struct Case {
    std::string text, quoted;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"plain, with; specials <a@b>", "\"plain, with; specials <a@b>\""},
      {"x\" <other@example.org>, \"y", "\"x\\\" <other@example.org>, \\\"y\""},
      {"ends in \\", "\"ends in \\\\\""},
      {"\\\"", "\"\\\\\\\"\""},
      {std::string("nul\0byte", 8), std::string("\"nul\0byte\"", 10)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QuotedString(c.text), c.quoted) << c.text;
    EXPECT_EQ(UnquotedString(c.quoted), c.text) << c.quoted;
  }
}

TEST(UnquotedString, ResolvesPairsOnlyInOneQuotedString) {
  struct Case {
    const char* value;
    const char* text;
  };
  const Case cases[] = {
      {"\"a\\b\"", "ab"},
      {"\"a\" b \"c\"", "a\" b \"c"},  // two quoted strings: the outer quotes go
      {"\"a\\\"", "a\\"},              // the last quote is escaped: never closed
      {"plain", "plain"},
      {"\"", "\""},
      {"'x'", "'x'"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnquotedString(c.value), c.text) << c.value;
}

TEST(IsMimeToken, RefusesBlanksControlsSpecialsAndEightBitBytes) {
  for (const char* token : {"gb2312", "utf-8", "ISO-8859-1", "x.y_z+1", "!#$%&'*^`{|}~"})
    EXPECT_TRUE(IsMimeToken(token)) << token;
  for (const char* text :
       {"", "utf 8", "a\"b", "a;b", "a=b", "a?b", "a/b", "a\r\nb", "a\x7F", "\xE9"})
    EXPECT_FALSE(IsMimeToken(text)) << text;
}

TEST(IsMailAddress, TakesOneDotAtomMailboxOfAtMost254Octets) {
  const std::string local(64, 'l');
  const std::string longest = local + "@" + std::string(189, 'd');
  for (const std::string& address :
       {std::string("a@x"), std::string("first.last+tag@sub.example.com"), std::string("o'brien@x"),
        std::string("a@[127.0.0.1]"), std::string("a@[IPv6:::1]"), longest})
    EXPECT_TRUE(IsMailAddress(address)) << address;
  for (const std::string& address :
       {std::string(""),        std::string("ax"),          std::string("@x"),
        std::string("a@"),      std::string("a@b@c"),       std::string(".a@x"),
        std::string("a.@x"),    std::string("a..b@x"),      std::string("a@x."),
        std::string("a@.x"),    std::string("\"q\"@x"),     std::string("a b@x"),
        std::string("a\t@x"),   std::string("a@x\r\n"),     std::string("a\x7F@x"),
        std::string("\xE9@x"),  std::string("a@[1.2\\.3]"), std::string("a@[]"),
        std::string("a@x]"),    std::string("a,b@x"),       std::string("<a@x>"),
        std::string("a@x;"),    std::string("(c)a@x"),      std::string("1@[x>_]"),
        std::string("a@[1,2]"), std::string("a@[\"1\"]"),   longest + "d",
        std::string("a\0@x", 4)})
    EXPECT_FALSE(IsMailAddress(address)) << address;
}

}  // namespace
