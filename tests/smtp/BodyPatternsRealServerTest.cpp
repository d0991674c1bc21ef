// Bodies that must arrive as given: byte patterns as a text body and as a file, in each body
// encoding, sent to the real server and judged by what Python's email package reads there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/mime/TMailMessageVrex.h"
#include "mail/smtp/TSMTPVrex.h"
#include "tests/smtp/RealSmtpServer.h"

namespace {

using MailVrex::TEncodingType;
using MailVrex::TMailMessageVrex;
using MailVrex::TSMTPVrex;
using pellam_test::RealSmtpServer;

struct Pattern {
  const char* name;
  std::string given;
  std::string canonical;  // the same with every line break a CR LF
};

// Every byte value once: 0x0A follows 0x09 and 0x0D comes before 0x0E, so both stand alone.
Pattern EveryByteValue() {
  Pattern pattern{"every byte value", {}, {}};
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    pattern.given += c;
    pattern.canonical += c == '\r' || c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  return pattern;
}

const std::vector<Pattern>& Patterns() {
  static const std::vector<Pattern> patterns = {
      EveryByteValue(),
      {"NUL", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"lone CR", "one\rtwo\r", "one\r\ntwo\r\n"},
      {"lone LF", "one\ntwo\n", "one\r\ntwo\r\n"},
      {"blanks before line ends", "tail \r\ntab\t\r\nboth \t\nend \t",
       "tail \r\ntab\t\r\nboth \t\r\nend \t"},
      {"dot lines after each line end", ".\r\n.\n.\r.x\r\n..\r\n.", ".\r\n.\r\n.\r\n.x\r\n..\r\n."},
      {"lead byte before LF", "total 5\xE2\x82\xAC\nnext line", "total 5\xE2\x82\xAC\r\nnext line"},
  };
  return patterns;
}

// Every CR of the raw text stands before an LF, every LF after a CR.
bool HasBareLineBreak(const std::string& raw) {
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && (i + 1 == raw.size() || raw[i + 1] != '\n')) return true;
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) return true;
  }
  return false;
}

// Each pattern goes as the text body and as a file of one message, all over one connection. A
// quoted-printable file comes back byte for byte; the text kinds come back with canonical line
// ends.
void ExpectPatternsArrive(TEncodingType encoding) {
  const RealSmtpServer& server = pellam_test::TheRealSmtpServer();
  ASSERT_TRUE(server.problem.empty()) << server.problem;
  TSMTPVrex smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.port;
  smtp.SetTimeOut(10);
  ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  for (const Pattern& pattern : Patterns()) {
    TMailMessageVrex message;
    message.Charset = "utf-8";
    message.TextEncoding = encoding;
    message.SetFrom("", "from@example.com");
    message.ToList.Add("", "to@example.com");
    message.SetTextBody(pattern.given);
    message.AttachStream(pattern.given, "pattern.bin", "application/octet-stream", encoding, false);
    message.Rebuild();
    smtp.MailMessage = &message;
    ASSERT_TRUE(smtp.SendMessage()) << pattern.name << ": " << smtp.LastReply();

    const std::string id = message.GetFieldValue("Message-ID");
    EXPECT_FALSE(HasBareLineBreak(pellam_test::DeliveredMessage(server, id))) << pattern.name;
    const pellam_test::PythonReading reading = pellam_test::DeliveredParts(server, id);
    EXPECT_EQ(reading.error, "") << pattern.name;
    EXPECT_EQ(reading.defects, 0) << pattern.name;
    ASSERT_EQ(reading.parts.size(), 2u) << pattern.name;
    EXPECT_EQ(reading.parts[0].type, "text/plain");
    EXPECT_TRUE(reading.parts[0].payload == pattern.canonical) << pattern.name << " as text";
    const std::string& file =
        encoding == TEncodingType::etQuotedPrintable ? pattern.given : pattern.canonical;
    EXPECT_TRUE(reading.parts[1].payload == file) << pattern.name << " as a file";
  }
}

TEST(BodyPatterns, QuotedPrintableArriveAsGiven) {
  ExpectPatternsArrive(TEncodingType::etQuotedPrintable);
}

TEST(BodyPatterns, SevenBitArriveWithCanonicalLineEnds) {
  ExpectPatternsArrive(TEncodingType::et7Bit);
}

TEST(BodyPatterns, UnencodedArriveWithCanonicalLineEnds) {
  ExpectPatternsArrive(TEncodingType::etNoEncoding);
}

}  // namespace
