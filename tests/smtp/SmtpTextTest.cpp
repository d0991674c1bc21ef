// The text rules under the SMTP client: reply completion, SMTP transparency, the recipient list
// and the origination date.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "mail/mime/DateField.h"
#include "mail/smtp/DataText.h"
#include "mail/smtp/RecipientText.h"
#include "mail/smtp/SmtpReply.h"

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

struct ReplyCase {
  const char* reply;
  bool complete;
};

TEST(IsReplyComplete, WaitsForTheFinalLineOfAMultiLineReply) {
  const ReplyCase cases[] = {
      {"250 ok\r\n", true},
      {"250\r\n", true},
      {"250-first\r\n", false},
      {"250-first\r\n250-second\r\n", false},
      {"250-first\r\n250 last\r\n", true},
      {"250-first\r\n250", false},  // the final line has not ended yet
      {"250 ok\r", false},          // CR alone is no line end
      {"250 ok", false},
      {"", false},
      {"hello\r\n", true},  // no reply line: judged (and failed) at once
      {"220-a\r\n220 b\r\n", true},
      {"25-x\r\n", true},  // two digits make no continuation line
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MailVrex::IsReplyComplete(c.reply), c.complete) << c.reply;
  }
}

TEST(FinalReplyCode, ReadsOnlyFinalReplyLines) {
  EXPECT_EQ(MailVrex::FinalReplyCode("554 no"), 554);
  EXPECT_EQ(MailVrex::FinalReplyCode("554"), 554);
  EXPECT_EQ(MailVrex::FinalReplyCode("554-more"), -1);
  EXPECT_EQ(MailVrex::FinalReplyCode("55 x"), -1);
  EXPECT_EQ(MailVrex::FinalReplyCode("5a4 x"), -1);
  EXPECT_EQ(MailVrex::LastReplyLine("250-a\r\n550 b\r\n"), "550 b");
  EXPECT_EQ(MailVrex::LastReplyLine("550 b"), "");
}

struct DataCase {
  const char* name;
  std::string message;
  std::string data;
};

TEST(MakeDataText, MakesLineBreaksCrLfDoublesEveryLeadingDotAndEndsTheData) {
  const DataCase cases[] = {
      {"plain text", "a\r\nb\r\n", "a\r\nb\r\n.\r\n"},
      {"lone dot line", "a\r\n.\r\nb\r\n", "a\r\n..\r\nb\r\n.\r\n"},
      {"two lone dots in a row", "a\r\n.\r\n.\r\nb\r\n", "a\r\n..\r\n..\r\nb\r\n.\r\n"},
      {"dot before text", "a\r\n.hidden\r\n", "a\r\n..hidden\r\n.\r\n"},
      {"dots already doubled", "..x\r\n", "...x\r\n.\r\n"},
      {"dot on the first line", ".x\r\n", "..x\r\n.\r\n"},
      {"dot inside a line", "a.b\r\n", "a.b\r\n.\r\n"},
      {"last line without line end", "a\r\nb", "a\r\nb\r\n.\r\n"},
      {"last line a lone dot without end", "a\r\n.", "a\r\n..\r\n.\r\n"},
      {"dot after a bare LF", "a\n.\r\n", "a\r\n..\r\n.\r\n"},
      {"dot after a lone CR", "a\r.x\r\n", "a\r\n..x\r\n.\r\n"},
      {"LF CR is two line breaks", "a\n\r.\n", "a\r\n\r\n..\r\n.\r\n"},
      {"ending in a bare LF", "a\n", "a\r\n.\r\n"},
      {"ending in a lone CR", "a\r", "a\r\n.\r\n"},
      {"NUL bytes kept", std::string("a\0.\r\n.\0\r\n", 9),
       std::string("a\0.\r\n..\0\r\n.\r\n", 13)},
      {"empty", "", ".\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(MailVrex::MakeDataText(c.message), c.data) << c.name;
}

// The text goes out in pieces as it is made, from a header and a body that follow each other:
// wherever the two meet and whatever the pieces' size, the data text must be the one the whole
// message gives, with the size announced beforehand.
TEST(DataTextReader, GivesTheWholeTextsDataInPiecesOfAnySizeAndAnySplit) {
  std::mt19937 random(17);
  std::vector<std::string> messages = {"", ".", "a\r\n.", ".\r\n.\r\n", "a\r", "\r\n"};
  for (int i = 0; i < 300; ++i) {
    std::string text(random() % 40, ' ');
    for (char& c : text) c = ".\r\na"[random() % 4];
    messages.push_back(text);
  }
  for (const std::string& message : messages) {
    const std::string expected = MailVrex::MakeDataText(message);
    for (std::size_t split = 0; split <= message.size(); ++split) {
      for (std::size_t room : {1u, 2u, 3u, 7u, 1000u}) {
        MailVrex::DataTextReader reader(std::string_view(message).substr(0, split),
                                        std::string_view(message).substr(split));
        ASSERT_EQ(reader.TotalSize(), expected.size());
        std::string data;
        std::string buffer(room, '\0');
        for (std::size_t count; (count = reader.Read(buffer.data(), room)) > 0;)
          data.append(buffer, 0, count);
        ASSERT_EQ(data, expected) << "split " << split << " room " << room;
      }
    }
  }
}

// A large body goes out with its dots stuffed and nothing else changed.
TEST(DataTextReader, LargeBodyKeepsEveryByte) {
  std::string body(3 << 20, 'x');
  for (std::size_t i = 77; i < body.size(); i += 78) body[i - 1] = '\r', body[i] = '\n';
  body[78] = '.';
  body.replace(body.size() - 2, 2, "\r\n");
  MailVrex::DataTextReader reader("Subject: s\r\n\r\n", body);
  std::string data(reader.TotalSize(), '\0');
  std::size_t at = 0;
  for (std::size_t count;
       (count = reader.Read(data.data() + at, std::min<std::size_t>(65536, data.size() - at))) > 0;)
    at += count;
  EXPECT_EQ(at, data.size());
  std::string expected =
      "Subject: s\r\n\r\n" + body.substr(0, 78) + "." + body.substr(78) + ".\r\n";
  EXPECT_TRUE(data == expected);
}

TEST(SplitCommaText, ReadsItemsAsWritten) {
  EXPECT_THAT(MailVrex::SplitCommaText("a,b"), ElementsAre("a", "b"));
  EXPECT_THAT(MailVrex::SplitCommaText("  a , b  "), ElementsAre("a", "b"));
  EXPECT_THAT(MailVrex::SplitCommaText("a b"), ElementsAre("a", "b"));
  EXPECT_THAT(MailVrex::SplitCommaText("\"x y\",z"), ElementsAre("x y", "z"));
  EXPECT_THAT(MailVrex::SplitCommaText("\"say \"\"hi\"\"\""), ElementsAre("say \"hi\""));
  EXPECT_THAT(MailVrex::SplitCommaText("\"open"), ElementsAre("open"));
  EXPECT_THAT(MailVrex::SplitCommaText("a,"), ElementsAre("a", ""));
  EXPECT_THAT(MailVrex::SplitCommaText("a, "), ElementsAre("a"));
  EXPECT_THAT(MailVrex::SplitCommaText(",a"), ElementsAre("", "a"));
  EXPECT_THAT(MailVrex::SplitCommaText("a,,b"), ElementsAre("a", "", "b"));
  EXPECT_THAT(MailVrex::SplitCommaText("\"\""), ElementsAre(""));
  EXPECT_THAT(MailVrex::SplitCommaText(std::string("a\0b", 3)), ElementsAre("a", "b"));
  EXPECT_THAT(MailVrex::SplitCommaText(" \t\r\n"), IsEmpty());
  EXPECT_THAT(MailVrex::SplitCommaText(""), IsEmpty());
}

TEST(SortedRecipients, SortsIgnoringCaseAndKeepsTheFirstOfEqualItems) {
  EXPECT_THAT(MailVrex::SortedRecipients("b,A,a"), ElementsAre("A", "b"));
  EXPECT_THAT(MailVrex::SortedRecipients("x@Y.org,X@y.ORG,w@z"), ElementsAre("w@z", "x@Y.org"));
  EXPECT_THAT(MailVrex::SortedRecipients("b,a,"), ElementsAre("", "a", "b"));
  EXPECT_THAT(MailVrex::SortedRecipients("a_b,a[b"), ElementsAre("a[b", "a_b"));
  EXPECT_THAT(MailVrex::SortedRecipients("ab,a"), ElementsAre("a", "ab"));
  EXPECT_THAT(MailVrex::SortedRecipients("  "), IsEmpty());
}

struct DateCase {
  platform::LocalTime time;
  const char* text;
};

TEST(FormatDateField, WritesTheRfc5322DateWithZone) {
  const DateCase cases[] = {
      {{2026, 12, 8, 14, 30, 0, 2, 480}, "Tue, 08 Dec 2026 14:30:00 +0800"},
      {{2024, 1, 31, 0, 0, 5, 3, 0}, "Wed, 31 Jan 2024 00:00:05 +0000"},
      {{1999, 7, 4, 23, 59, 59, 0, -210}, "Sun, 04 Jul 1999 23:59:59 -0330"},
      {{2030, 6, 1, 9, 5, 7, 6, 345}, "Sat, 01 Jun 2030 09:05:07 +0545"},
      {{2026, 13, 0, 25, 61, 61, 9, 100000}, "Tue, 01 Dec 2026 23:59:60 +9959"},
  };
  for (const auto& c : cases) EXPECT_EQ(MailVrex::FormatDateField(c.time), c.text);
}

}  // namespace
