// Recipient lists over the To, Cc and Bcc fields: reading, writing, round trips.
#include "mail/mime/TMailRecipients.h"

#include <gtest/gtest.h>

#include "mail/codec/MailError.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {
namespace {

using Texts = std::vector<std::string>;

// The list of another message over the same header lines: it has to read the
// field, where the list that wrote it still knows what it wrote.
struct Reader {
  explicit Reader(const TMailMessageVrex& written) { message.HeaderLines = written.HeaderLines; }
  TMailMessageVrex message;
};

TEST(TMailRecipients, AddWritesAngleAddressThenQuotedNameAfterCommaAndSpace) {
  TMailMessageVrex message;
  message.ToList.Add("", "a@x");
  EXPECT_EQ(message.HeaderLines, (Texts{"To: <a@x>"}));
  message.ToList.Add("N", "b@x");
  EXPECT_EQ(message.HeaderLines, (Texts{"To: <a@x>, \"N\" <b@x>"}));
  EXPECT_EQ(message.ToList.Count(), 2);
  EXPECT_EQ(message.ToList.AddressesAsCommaText(), "a@x,b@x");
}

TEST(TMailRecipients, ListsAreBoundToTheirOwnFields) {
  TMailMessageVrex message;
  message.CcList.Add("", "c@x");
  message.BccList.Add("", "d@x");
  EXPECT_EQ(message.HeaderLines, (Texts{"Cc: <c@x>", "Bcc: <d@x>"}));
  EXPECT_EQ(message.ToList.Count(), 0);
}

TEST(TMailRecipients, NonAsciiNameIsABareEncodedWordAndReadsBackDecoded) {
  TMailMessageVrex message;
  const std::string name = "\xD5\xC5\xC8\xFD Zhang";
  message.ToList.Add(name, "z@x");
  EXPECT_EQ(message.GetFieldValue("To").substr(0, 11), "=?gb2312?Q?");
  Reader reader(message);
  ASSERT_EQ(reader.message.ToList.Count(), 1);
  EXPECT_EQ(reader.message.ToList.Names()[0], name);
  EXPECT_EQ(reader.message.ToList.Addresses()[0], "z@x");
}

TEST(TMailRecipients, LongNonAsciiNameSplitIntoWordsStillReadsBackWhole) {
  TMailMessageVrex message;
  std::string name;
  for (int i = 0; i < 40; ++i) name += "\xD6\xD0";
  message.ToList.Add(name, "z@x");
  EXPECT_EQ(Reader(message).message.ToList.Names()[0], name);
}

// Fields written by other code, as the list reads them.
TEST(TMailRecipients, ReadsFieldsWrittenElsewhere) {
  struct Case {
    const char* value;
    Texts names;
    Texts addresses;
  };
  const Case cases[] = {
      {"A@x, B@x", {"", ""}, {"A@x", "B@x"}},
      {"A@x; B@x", {""}, {"A@x"}},  // the field's value ends at the ";"
      {"\"Doe, John\" <j@x>, Ann <a@x>", {"Doe, John", "Ann"}, {"j@x", "a@x"}},
      {"A@x, ,", {""}, {"A@x"}},  // empty entries name no one
      {"(comment) <c@x>", {"(comment)"}, {"c@x"}},
      {"\"a\\\"b, \\\\c\" <q@x>", {"a\"b, \\c"}, {"q@x"}},  // quoted-pairs resolved
      {"=?cs?Q?=E9=3F=3D?= <e@x>", {"\xE9?="}, {"e@x"}},
      {"", {}, {}},
  };
  for (const Case& c : cases) {
    TMailMessageVrex message;
    if (*c.value != '\0') message.HeaderLines.push_back(std::string("To: ") + c.value);
    EXPECT_EQ(message.ToList.Names(), c.names) << c.value;
    EXPECT_EQ(message.ToList.Addresses(), c.addresses) << c.value;
  }
}

TEST(TMailRecipients, MissingFieldGivesNothingAndAddCreatesIt) {
  TMailMessageVrex message;
  EXPECT_EQ(message.ToList.Count(), 0);
  EXPECT_EQ(message.ToList.AddressesAsCommaText(), "");
  message.ToList.Add("", "a@x");
  EXPECT_EQ(message.GetFieldValue("To"), "<a@x>");
}

// A field written elsewhere is read by the same rule: an entry is one mail
// address or the reading raises, never a part of one or two of them.
TEST(TMailRecipients, ForeignEntriesThatAreNoMailAddressAreRefused) {
  const char* values[] = {"C@x, a b@x", "<>",      "N <a@x> tail end", "<a@x\rb>",
                          "c\x01@x",    "<a,b@x>", "N <a@x",           "\"q\"@x"};
  for (const char* value : values) {
    TMailMessageVrex message;
    message.HeaderLines.push_back(std::string("To: ") + value);
    EXPECT_THROW(message.ToList.AddressesAsCommaText(), MailError) << value;
  }
}

TEST(TMailRecipients, CommaTextJoinsTheAddressesWithoutBlanks) {
  TMailMessageVrex message;
  message.HeaderLines.push_back("To: C@x, \"D, d\" <D@x>");
  EXPECT_EQ(message.ToList.AddressesAsCommaText(), "C@x,D@x");
}

TEST(TMailRecipients, FollowsTheHeaderAfterReset) {
  TMailMessageVrex message;
  message.ToList.Add("", "a@x");
  message.Reset();
  EXPECT_EQ(message.ToList.Count(), 0);
  message.ToList.Add("", "b@x");
  EXPECT_EQ(message.HeaderLines, (Texts{"To: <b@x>"}));
}

// Each change of the field is seen, also one that leaves the header as long
// as it was.
TEST(TMailRecipients, FollowsItsFieldWhateverTheHeaderLength) {
  TMailMessageVrex message;
  message.BccList.Add("", "b@x");
  ASSERT_EQ(message.BccList.Count(), 1);
  message.Reset();
  message.HeaderLines = {"Subject: 0123456789"};  // as long as "Bcc: <b@x>" was
  EXPECT_EQ(message.BccList.Count(), 0);
  message.HeaderLines = {"Bcc: <c@x>"};
  EXPECT_EQ(message.BccList.Addresses(), (Texts{"c@x"}));
  message.SetFieldValue("Bcc", "<d@x>");
  EXPECT_EQ(message.BccList.Addresses(), (Texts{"d@x"}));
  message.ToList.Add("", "e@x");
  EXPECT_EQ(message.BccList.Addresses(), (Texts{"d@x"}));
}

// A refused address leaves the field and the list as they were (the rule
// itself is told by the codec tests, the envelope by the real-server tests).
TEST(TMailRecipients, AddRefusingAnAddressLeavesTheFieldAsItWas) {
  for (const char* address : {"to@example.com,extra@example.org", "a>b@example.com", ""}) {
    TMailMessageVrex message;
    message.CcList.Add("", "first@x");
    try {
      message.CcList.Add("N", address);
      ADD_FAILURE() << "accepted " << address;
    } catch (const MailError& error) {
      EXPECT_EQ(error.what(), std::string("Invalid mail address: ") + address);
    }
    EXPECT_EQ(message.HeaderLines, (Texts{"Cc: <first@x>"})) << address;
    EXPECT_EQ(message.CcList.Count(), 1) << address;
  }
}

// A name stays one name: written as a quoted string (or encoded words in one)
// and read back to the same bytes.
TEST(TMailRecipients, HostileNamesReadBackAsGiven) {
  const std::string names[] = {
      "x\" <other@example.org>, \"y", "ends in \\",       "\\\"",        "a, b; c",
      "=?utf-8?B?SGVsbG8=?=",         " lead and trail ", "Caf\xE9?=ok", "tab\there"};
  for (const std::string& name : names) {
    TMailMessageVrex message;
    message.BccList.Add(name, "a@x");
    message.BccList.Add("", "b@x");
    Reader reader(message);
    ASSERT_EQ(reader.message.BccList.Count(), 2) << message.HeaderLines[0];
    EXPECT_EQ(reader.message.BccList.Names()[0], name) << message.HeaderLines[0];
    EXPECT_EQ(reader.message.BccList.AddressesAsCommaText(), "a@x,b@x");
  }
}

TEST(TMailRecipients, NameWithLineBreakBecomesEncodedWord) {
  TMailMessageVrex message;
  message.ToList.Add("N\r\nBcc: evil@y", "a@x");
  ASSERT_EQ(message.HeaderLines.size(), 1u);
  EXPECT_EQ(message.HeaderLines[0].find('\r'), std::string::npos);
  EXPECT_EQ(Reader(message).message.ToList.Names()[0], "N\r\nBcc: evil@y");
}

}  // namespace
}  // namespace MailVrex
