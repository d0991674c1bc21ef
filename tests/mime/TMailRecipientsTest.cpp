// Recipient lists over the To, Cc and Bcc fields: reading, writing, round trips.
#include "mail/mime/TMailRecipients.h"

#include <gtest/gtest.h>

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

TEST(TMailRecipients, NonAsciiNameIsEncodedWordInQuotesAndReadsBackDecoded) {
  TMailMessageVrex message;
  const std::string name = "\xD5\xC5\xC8\xFD Zhang";
  message.ToList.Add(name, "z@x");
  EXPECT_EQ(message.GetFieldValue("To").substr(0, 12), "\"=?gb2312?Q?");
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
      {"A@x,", {"", ""}, {"A@x", ""}},
      {"N <a@x> tail end", {"N"}, {"a@xtailend"}},
      {"(comment) <c@x>", {"(comment)"}, {"c@x"}},
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

TEST(TMailRecipients, CommaTextQuotesWhatWouldSplitOrBreak) {
  struct Case {
    const char* value;
    const char* commaText;
  };
  const Case cases[] = {
      {"C@x, D@x", "C@x,D@x"},
      {"a b@x", "\"a b@x\""},
      {"<>", "\"\""},
  };
  for (const Case& c : cases) {
    TMailMessageVrex message;
    message.HeaderLines.push_back(std::string("To: ") + c.value);
    EXPECT_EQ(message.ToList.AddressesAsCommaText(), c.commaText) << c.value;
  }
}

TEST(TMailRecipients, CommaTextDoublesQuotesInsideAnAddress) {
  TMailMessageVrex message;
  message.ToList.Add("", "q\"q@x");
  message.ToList.Add("", "r@x");
  EXPECT_EQ(message.ToList.AddressesAsCommaText(), "\"q\"\"q@x\",r@x");
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

TEST(TMailRecipients, AddressesLoseEveryByteUpToTheSpace) {
  TMailMessageVrex message;
  message.ToList.Add("", std::string("a@x\r\nRCPT TO:<evil@y>\0", 22));
  EXPECT_EQ(message.HeaderLines, (Texts{"To: <a@xRCPTTO:<evil@y>>"}));
  EXPECT_EQ(message.ToList.Count(), 1);
  for (char c : message.ToList.AddressesAsCommaText())
    EXPECT_GT(static_cast<unsigned char>(c), 0x20u);
}

TEST(TMailRecipients, ControlBytesInForeignFieldNeverReachTheCommaText) {
  TMailMessageVrex message;
  message.HeaderLines.push_back(std::string("To: <a@x\rb>, c\x01@x"));
  EXPECT_EQ(message.ToList.AddressesAsCommaText(), "a@xb,c@x");
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
