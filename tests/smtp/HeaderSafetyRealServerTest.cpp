// Header safety against a real server (aiosmtpd): the envelope holds exactly the addresses given,
// and Python's email package reads every name, file name and subject back as given. Refused
// input raises a MailError and starts no transaction.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "mail/codec/MailError.h"
#include "mail/codec/TextUtil.h"
#include "mail/mime/TMailMessageVrex.h"
#include "mail/smtp/TSMTPVrex.h"
#include "tests/smtp/RealSmtpServer.h"

namespace {

using MailVrex::MailError;
using MailVrex::TEncodingType;
using MailVrex::TMailMessageVrex;
using MailVrex::TSMTPVrex;
using pellam_test::RealSmtpServer;
using pellam_test::TheRealSmtpServer;

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

// The lines of a reading, in any order.
std::multiset<std::string> LinesOf(const std::string& text) {
  std::multiset<std::string> lines;
  for (std::size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos;
       begin = end + 1)
    lines.insert(text.substr(begin, end - begin));
  return lines;
}

std::string AddressLine(std::string_view field, std::string_view name, std::string_view address) {
  return std::string(field) + "=" + Hex(name) + " " + Hex(address);
}

class HeaderSafety : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.problem.empty()) << server.problem;
    smtp.Host = "127.0.0.1";
    smtp.Port = server.port;
    smtp.SetTimeOut(10);
    smtp.MailMessage = &message;
    ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  }

  // Sends the message and returns what Python read from it; the envelope must be exactly `from`
  // and `recipients` (which RCPT TO names in ascending order, ignoring case).
  std::multiset<std::string> SendAndRead(const std::string& from,
                                         std::vector<std::string> recipients) {
    if (message.NeedRebuild) message.Rebuild();
    EXPECT_TRUE(smtp.SendMessage()) << smtp.LastReply();
    const std::string id = message.GetFieldValue("Message-ID");
    std::sort(recipients.begin(), recipients.end(), [](const std::string& a, const std::string& b) {
      return MailVrex::CompareIgnoringAsciiCase(a, b) < 0;
    });
    std::string envelope = "from=" + from + "\n";
    for (const std::string& recipient : recipients) envelope += "to=" + recipient + "\n";
    EXPECT_EQ(pellam_test::DeliveredEnvelope(server, id), envelope);
    const std::multiset<std::string> read = LinesOf(pellam_test::DeliveredReading(server, id));
    for (const std::string& line : read) {
      EXPECT_NE(line.rfind("error=", 0), 0u) << line;
      if (line.rfind("maxline=", 0) == 0) {
        EXPECT_LE(std::stoi(line.substr(8)), 998) << id;
      }
      if (line.rfind("maxword=", 0) == 0) {
        EXPECT_LE(std::stoi(line.substr(8)), 75) << id;
      }
    }
    return read;
  }

  // The lines of a reading that are values, without the two measures.
  static std::multiset<std::string> Values(std::multiset<std::string> read) {
    std::erase_if(read, [](const std::string& line) { return line.rfind("max", 0) == 0; });
    return read;
  }

  const RealSmtpServer& server = TheRealSmtpServer();
  TMailMessageVrex message;
  TSMTPVrex smtp;
};

// Names that ended the quoted string early, broke the field, looked like encoded words, or held
// line breaks and bytes above 0x7F; each in From, To, Cc, Bcc, the subject and a file name.
TEST_F(HeaderSafety, HostileNamesAndFileNamesArriveAsGiven) {
  const std::string names[] = {
      "x\" <other@example.org>, \"y",
      "ends in a backslash \\",
      "\\\"",
      "a, b; c <d@e> (f)",
      "=?utf-8?B?SGVsbG8=?=",
      " blanks at the ends ",
      "report.pdf\"; filename=\"other.exe",
      "Caf\xE9?=ok",
      "line\r\nBcc: someone@example.org",
      std::string("nul\0byte", 8),
      "\xD5\xC5\xC8\xFD \xC0\xEE\xCB\xC4 and a long tail to make several encoded words of it",
  };
  const char* charsets[] = {"gb2312", "utf-8", "ISO-8859-1"};
  int round = 0;
  for (const std::string& name : names) {
    message.Reset();
    message.Charset = charsets[round++ % 3];
    message.SetFrom(name, "from@example.com");
    message.ToList.Add(name, "to@example.com");
    message.CcList.Add(name, "cc@example.com");
    message.BccList.Add(name, "bcc@example.com");
    message.SetSubject(name);
    message.SetTextBody("text");
    // "/", "\\" and ":" separate folders: the file name is what follows the last of them.
    std::string file = name + ".txt";
    std::replace_if(
        file.begin(), file.end(), [](char c) { return c == '/' || c == '\\' || c == ':'; }, '_');
    message.AttachStream("data", file, "text/plain", TEncodingType::etBase64, false);
    const auto read =
        SendAndRead("from@example.com", {"to@example.com", "cc@example.com", "bcc@example.com"});
    EXPECT_EQ(Values(read), (std::multiset<std::string>{
                                AddressLine("from", name, "from@example.com"),
                                AddressLine("to", name, "to@example.com"),
                                AddressLine("cc", name, "cc@example.com"),
                                "subject=" + Hex(name),
                                "filename=" + Hex(file),
                                "name=" + Hex(file),
                            }))
        << Hex(name);
  }
}

// Every address given is the one in the envelope and the header, or the call that took it raised
// a MailError naming it; the next transaction then starts cleanly with only what was accepted.
TEST_F(HeaderSafety, AddressesArriveAsGivenOrAreRefused) {
  const std::string refused[] = {
      "to@example.com,extra@example.org",
      "a>b@example.com",
      "x@example.com>\r\nRCPT TO: <evil@example.org",
      "\"quoted\"@example.com",
      "a b@example.com",
      "(comment)a@example.com",
      "<a@example.com>",
      "caf\xE9@example.com",
      std::string(64, 'l') + "@" + std::string(190, 'd'),
      "",
  };
  for (const std::string& address : refused) {
    message.Reset();
    for (auto* list : {&message.ToList, &message.CcList, &message.BccList}) {
      try {
        list->Add("N", address);
        ADD_FAILURE() << list->FieldName() << " took " << address;
      } catch (const MailError& error) {
        EXPECT_EQ(std::string(error.what()), "Invalid mail address: " + address);
      }
    }
    if (!address.empty()) {  // an empty one removes the field, and names no entry's address
      EXPECT_THROW(message.SetFrom("N", address), MailError) << address;
      EXPECT_THROW(message.AddressInList("N <" + address + ">", 0), MailError) << address;
    }
    EXPECT_TRUE(message.HeaderLines.empty()) << address;
    message.ToList.Add("", "to@example.com");
    message.Body = "x\r\n";
    EXPECT_THROW(smtp.SendMessageTo(address.empty() ? "<>" : address, "to@example.com"), MailError);
    if (address.find(',') == std::string::npos) {  // a comma separates the items of that text
      EXPECT_THROW(smtp.SendMessageTo("from@example.com", "to@example.com," + address), MailError);
    }
  }

  const std::string accepted[] = {"o'brien+tag@example.com", "first.last@sub.example.com",
                                  "a@[127.0.0.1]", "UPPER@EXAMPLE.COM"};
  message.Reset();
  message.SetFrom("Sender", "o'brien+tag@example.com");
  for (const std::string& address : accepted) message.BccList.Add("N", address);
  message.Body = "x\r\n";
  SendAndRead("o'brien+tag@example.com",
              std::vector<std::string>(std::begin(accepted), std::end(accepted)));
}

// A charset that is not a MIME token is refused before it is written anywhere.
TEST_F(HeaderSafety, CharsetsThatAreNoTokenAreRefused) {
  for (const char* charset :
       {"gb2312\"; x=y", "utf-8;", "a b", "gb2312\r\nBcc: x@example.org", ""}) {
    message.Reset();
    message.Charset = charset;
    EXPECT_THROW(message.SetSubject("\xB0\xA1"), MailError) << charset;
    EXPECT_THROW(message.SetFrom("\xB0\xA1", "from@example.com"), MailError) << charset;
    EXPECT_THROW(message.ToList.Add("\xB0\xA1", "to@example.com"), MailError) << charset;
    EXPECT_THROW(message.SetTextBody("text"), MailError) << charset;
    EXPECT_THROW(message.AttachStream("d", "\xB0\xA1.txt", "", TEncodingType::etBase64, false),
                 MailError);
    EXPECT_TRUE(message.HeaderLines.empty()) << charset;
    EXPECT_EQ(message.OwnedPartCount(), 0u) << charset;
  }
}

// Subjects of every length from 1 to 200 that mix bytes above 0x7F with the characters that
// end, split or fold encoded words.
TEST_F(HeaderSafety, SubjectsDecodeToTheBytesGiven) {
  const std::string alphabet = "?=,;:\"()_ a\xE9\xB0\xA1\xFF";
  std::uint32_t seed = 12345;
  message.SetFrom("", "from@example.com");
  message.ToList.Add("", "to@example.com");
  message.Body = "x\r\n";
  for (std::size_t length = 1; length <= 200; ++length) {
    std::string subject;
    for (std::size_t i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      subject += alphabet[(seed >> 16) % alphabet.size()];
    }
    message.SetSubject(subject);
    const auto read = SendAndRead("from@example.com", {"to@example.com"});
    EXPECT_EQ(read.count("subject=" + Hex(subject)), 1u)
        << Hex(subject) << " read as " << testing::PrintToString(read);
  }
}

// The lists follow their fields, not the header's length: after Reset a header exactly as long
// as the first message's keeps no trace of its Bcc recipient.
TEST_F(HeaderSafety, SecondMessageOfTheSameLengthSendsToItsOwnRecipientsOnly) {
  message.SetFrom("", "from@example.com");
  message.ToList.Add("", "to@example.com");
  message.BccList.Add("", "bcc@example.com");
  const std::size_t length = message.HeaderTextLength();
  message.Body = "first\r\n";
  SendAndRead("from@example.com", {"to@example.com", "bcc@example.com"});

  message.Reset();
  message.SetFrom("", "from@example.com");
  message.ToList.Add("", "to@example.com");
  message.SetSubject("Of one length");  // as long as the Bcc line was
  ASSERT_EQ(message.HeaderTextLength(), length);
  message.Body = "second\r\n";
  SendAndRead("from@example.com", {"to@example.com"});
}

}  // namespace
