// Header-level operations of the message and the address list scans.
#include "mail/mime/TMailMessageVrex.h"

#include <gtest/gtest.h>

#include <regex>

#include "mail/codec/MailError.h"

namespace MailVrex {
namespace {

using Texts = std::vector<std::string>;

TEST(TMailMessageVrex, StartsEmptyWithDefaultCharsetAndEncodingWhichResetKeeps) {
  TMailMessageVrex message;
  EXPECT_EQ(message.Charset, "gb2312");
  EXPECT_EQ(message.TextEncoding, TEncodingType::etQuotedPrintable);
  EXPECT_EQ(message.OwnerMessage, &message);
  EXPECT_FALSE(message.NeedRebuild);
  message.Charset = "utf-8";
  message.TextEncoding = TEncodingType::etBase64;
  message.SetSubject("s");
  message.SetTextBody("t");
  message.Reset();
  EXPECT_EQ(message.Charset, "utf-8");
  EXPECT_EQ(message.TextEncoding, TEncodingType::etBase64);
  EXPECT_TRUE(message.HeaderLines.empty());
  EXPECT_TRUE(message.Body.empty());
  EXPECT_EQ(message.TextPart, nullptr);
  EXPECT_FALSE(message.NeedRebuild);
}

TEST(SetFrom, WritesQuotedNameAndAngleAddressOrRemovesField) {
  struct Case {
    const char* name;
    const char* address;
    const char* value;
  };
  const Case cases[] = {
      {"Ann Lee", "ann@x", "\"Ann Lee\" <ann@x>"},
      {"", "ann@x", "<ann@x>"},
      {"\xB0\xA1", "ann@x", "=?gb2312?Q?=B0=A1?= <ann@x>"},
      {"Ann", "", ""},
      {"x\" <other@example.org>, \"y", "a@x", "\"x\\\" <other@example.org>, \\\"y\" <a@x>"},
      {"back\\", "a@x", "\"back\\\\\" <a@x>"},
  };
  for (const Case& c : cases) {
    TMailMessageVrex message;
    message.SetFrom(c.name, c.address);
    EXPECT_EQ(message.GetFieldValue("From"), c.value) << c.name << "/" << c.address;
    EXPECT_EQ(message.HeaderLines.empty(), *c.value == '\0');
  }
}

TEST(SetFrom, RefusesWhatIsNoMailAddressAndKeepsTheField) {
  TMailMessageVrex message;
  message.SetFrom("", "old@x");
  for (const char* address : {"a @x\r\nDATA", "\r\n", "a@x> <b@y", "a@x, b@y"}) {
    EXPECT_THROW(message.SetFrom("N", address), MailError) << address;
    EXPECT_EQ(message.HeaderLines, (Texts{"From: <old@x>"}));
  }
  message.Charset = "no;token";
  EXPECT_THROW(message.SetFrom("\xB0\xA1", "new@x"), MailError);
  EXPECT_EQ(message.FromAddress(), "old@x");
}

TEST(SetSubject, PacksNonAsciiAndRemovesOnEmpty) {
  TMailMessageVrex message;
  message.SetSubject("hello");
  EXPECT_EQ(message.HeaderLines, (Texts{"Subject: hello"}));
  message.SetSubject("caf\xE9 au lait");
  EXPECT_EQ(message.HeaderLines, (Texts{"Subject: =?gb2312?Q?caf=E9=20au=20lait?="}));
  message.SetSubject("");
  EXPECT_TRUE(message.HeaderLines.empty());
}

// A ";" or quote in a subject is text: a later subject replaces all of it.
TEST(SetSubject, ReplacesTheWholeEarlierSubject) {
  TMailMessageVrex message;
  message.SetSubject("a; b=\"c;\" d");
  EXPECT_EQ(message.HeaderLines, (Texts{"Subject: a; b=\"c;\" d"}));
  message.SetSubject("x");
  EXPECT_EQ(message.HeaderLines, (Texts{"Subject: x"}));
}

TEST(SetPriority, WritesDecimalWithSign) {
  TMailMessageVrex message;
  message.SetPriority(-3);
  EXPECT_EQ(message.HeaderLines, (Texts{"X-Priority: -3"}));
  message.SetPriority(2);
  EXPECT_EQ(message.HeaderLines, (Texts{"X-Priority: 2"}));
}

TEST(SetMessageId, DateTimeThenTwoFreshHexGroupsThenHost) {
  TMailMessageVrex message;
  message.SetMessageId("192.168.0.1");
  std::string first = message.GetFieldValue("Message-ID");
  const std::regex shape(R"(<\d{14}\.[0-9A-F]{1,8}\.[0-9A-F]{1,8}@192\.168\.0\.1>)");
  EXPECT_TRUE(std::regex_match(first, shape)) << first;
  message.SetMessageId("192.168.0.1");
  std::string second = message.GetFieldValue("Message-ID");
  EXPECT_TRUE(std::regex_match(second, shape)) << second;
  EXPECT_NE(first.substr(15), second.substr(15));
  EXPECT_EQ(message.HeaderLines.size(), 1u);
}

TEST(SetMessageId, HostCannotBreakTheLine) {
  TMailMessageVrex message;
  message.SetMessageId("h\r\nBcc: x");
  EXPECT_EQ(message.GetFieldValue("Message-ID").find_first_of("\r\n "), std::string::npos);
}

const char kList[] = " \"Doe, John\" <j@x>, Ann Lee <a@x>; b@x ";

TEST(AddressInList, TakesAngleAddressOrBareEntryByIndex) {
  EXPECT_EQ(TMailMessageVrex::AddressInList(kList, 0), "j@x");
  EXPECT_EQ(TMailMessageVrex::AddressInList(kList, 1), "a@x");
  EXPECT_EQ(TMailMessageVrex::AddressInList(kList, 2), "b@x");
  EXPECT_EQ(TMailMessageVrex::AddressInList(kList, 3), "");
  EXPECT_EQ(TMailMessageVrex::AddressInList("", 0), "");
  EXPECT_EQ(TMailMessageVrex::AddressInList("Ann <>", 0), "");
}

TEST(NameInList, TakesNameBeforeAngleWithQuotedCommaAndNothingForBareAddress) {
  EXPECT_EQ(TMailMessageVrex::NameInList(kList, 0), "Doe, John");
  EXPECT_EQ(TMailMessageVrex::NameInList(kList, 1), "Ann Lee");
  EXPECT_EQ(TMailMessageVrex::NameInList(kList, 2), "");
  EXPECT_EQ(TMailMessageVrex::NameInList(kList, 3), "");
  EXPECT_EQ(TMailMessageVrex::NameInList("b@x", 0), "");
  EXPECT_EQ(TMailMessageVrex::NameInList("\"a\\\"b, c\" <x@y>", 0), "a\"b, c");
}

// An entry is taken as a whole or refused: nothing is cut out of it.
TEST(AddressInList, RefusesEntriesThatAreNoMailAddress) {
  const char* lists[] = {"N <a@x\r\nQUIT\t>", "a \"quoted\" b@x", "a>b@example.com",
                         "N <a b@x>",         "N <a@x> tail",     "x, N <a@x"};
  for (const char* list : lists) {
    try {
      TMailMessageVrex::AddressInList(list, 0);
      TMailMessageVrex::AddressInList(list, 1);
      ADD_FAILURE() << "accepted " << list;
    } catch (const MailError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Invalid mail address: ", 0), 0u);
    }
  }
}

TEST(AddressOfField, ScansTheFieldValue) {
  TMailMessageVrex message;
  message.HeaderLines = {"From: \"A, B\" <ab@x>", "Cc: c@x, <d@x>, <e@x\x01>"};
  EXPECT_EQ(message.FromAddress(), "ab@x");
  EXPECT_EQ(message.AddressOfField("Cc", 0), "c@x");
  EXPECT_EQ(message.AddressOfField("cc", 1), "d@x");
  EXPECT_THROW(message.AddressOfField("cc", 2), MailError);
  EXPECT_EQ(message.AddressOfField("To", 0), "");
}

}  // namespace
}  // namespace MailVrex
