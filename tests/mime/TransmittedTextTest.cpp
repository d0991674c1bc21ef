// The message texts as the SMTP layer transmits them, line by line, for the
// two layouts the automation layer produces most.
#include <gtest/gtest.h>

#include <regex>

#include "MessageCorpus.h"
#include "TestSupport.h"
#include "mail/codec/Base64.h"
#include "mail/codec/ContentTypes.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {
namespace {

using Lines = std::vector<std::string>;

// The automation layer's order of calls, then what the SMTP layer does
// before it transmits: a Message-ID, and no Bcc field.
std::string Compose(TMailMessageVrex& message, bool html, const std::string* filePath) {
  message.Reset();
  message.SetPriority(2);
  message.SetFrom("Ann Lee", "ann@x");
  message.ToList.Add("", "to@x");
  message.CcList.Add("Cc Person", "cc@x");
  message.BccList.Add("", "bcc@x");
  message.SetSubject("Greetings");
  message.SetTextBody("Hello\r\nWorld");
  if (html) message.SetHtmlBody("<b>Hello</b>");
  if (filePath) message.AttachFile(*filePath, "", TEncodingType::etBase64, false);
  if (message.NeedRebuild) message.Rebuild();
  message.SetMessageId("127.0.0.1");
  message.SetFieldValue("Bcc", "");
  return message.GetSourceText();
}

MimeTest::ExpectedMessage Addressed(MimeTest::ExpectedPart tree) {
  MimeTest::ExpectedMessage expected;
  expected.Tree = std::move(tree);
  expected.Subject = "Greetings";
  expected.From = {{"Ann Lee", "ann@x"}};
  expected.To = {{"", "to@x"}};
  return expected;
}

// Replaces the Message-ID by a fixed text, after checking its shape.
void FixMessageId(Lines& lines, std::size_t index) {
  ASSERT_LT(index, lines.size());
  EXPECT_TRUE(std::regex_match(
      lines[index], std::regex(R"(Message-ID: <\d{14}\.[0-9A-F]+\.[0-9A-F]+@127\.0\.0\.1>)")))
      << lines[index];
  lines[index] = "Message-ID: (id)";
}

TEST(TransmittedText, TextAloneHasNoContainerAndItsFieldsInOrder) {
  TMailMessageVrex message;
  std::string text = Compose(message, false, nullptr);
  Lines lines = MimeTest::LinesOf(text, true);
  FixMessageId(lines, 11);
  EXPECT_EQ(lines, (Lines{
                       "X-Priority: 2",
                       "From: \"Ann Lee\" <ann@x>",
                       "To: <to@x>",
                       "Cc: \"Cc Person\" <cc@x>",
                       "Subject: Greetings",
                       "Mime-Version: 1.0",
                       "X-Mailer: Pellam MailVrex",
                       "Content-Transfer-Encoding: quoted-printable",
                       "Content-Type: text/plain; charset=\"gb2312\"",
                       "Content-Disposition: inline",
                       "Content-Length: 12",
                       "Message-ID: (id)",
                       "",
                       "Hello",
                       "World",
                   }));
  MimeTest::Record("layout_text_alone", text,
                   Addressed(MimeTest::Text("text/plain", "Hello\r\nWorld")));
}

TEST(TransmittedText, HtmlAloneIsTheSameWithTextHtml) {
  TMailMessageVrex message;
  message.SetHtmlBody("<p>x</p>");
  Lines lines = MimeTest::LinesOf(MimeTest::Sent(message), true);
  EXPECT_EQ(lines, (Lines{"Mime-Version: 1.0", "X-Mailer: Pellam MailVrex",
                          "Content-Transfer-Encoding: quoted-printable",
                          "Content-Type: text/html; charset=\"gb2312\"",
                          "Content-Disposition: inline", "Content-Length: 8", "", "<p>x</p>"}));
}

TEST(TransmittedText, TextHtmlAndFileFollowTheMixedAlternativeLayout) {
  const std::string content = MimeTest::ByteRamp(100);
  MimeTest::TempFile file("notes.bin", content);
  TMailMessageVrex message;
  std::string text = Compose(message, true, &file.Path());
  const std::string b1 = BoundaryOf(message);
  const std::string b2 = BoundaryOf(*message.AlternativePart);
  EXPECT_TRUE(std::regex_match(b1, std::regex("boundary[0-9A-F]{8}_mixed")));
  EXPECT_TRUE(std::regex_match(b2, std::regex("boundary[0-9A-F]{8}_alternative")));
  std::string encoded;
  StreamToBase64Lines(encoded, content);
  Lines base64 = MimeTest::LinesOf(encoded);
  ASSERT_EQ(base64.size(), 2u);
  const std::string fileType = ContentTypeOfFile("notes.bin");

  Lines lines = MimeTest::LinesOf(text);
  FixMessageId(lines, 9);
  const std::string bodyLength = message.GetFieldValue("Content-Length");
  EXPECT_EQ(std::to_string(message.Body.size()), bodyLength);
  Lines expected = {
      "X-Priority: 2",
      "From: \"Ann Lee\" <ann@x>",
      "To: <to@x>",
      "Cc: \"Cc Person\" <cc@x>",
      "Subject: Greetings",
      "Mime-Version: 1.0",
      "X-Mailer: Pellam MailVrex",
      "Content-Type: multipart/mixed; boundary=\"" + b1 + "\"",  // 64 columns: not folded
      "Content-Length: " + bodyLength,
      "Message-ID: (id)",
      "",
      "This is a multipart message in mime format.",
      "",
      "--" + b1,
      "Content-Type: multipart/alternative; boundary=\"" + b2 + "\"",
      "",
      "",
      "--" + b2,
      "Content-Transfer-Encoding: quoted-printable",
      "Content-Type: text/plain; charset=\"gb2312\"",
      "Content-Disposition: inline",
      "Content-Length: 12",
      "",
      "Hello",
      "World",
      "--" + b2,
      "Content-Transfer-Encoding: quoted-printable",
      "Content-Type: text/html; charset=\"gb2312\"",
      "Content-Disposition: inline",
      "Content-Length: 12",
      "",
      "<b>Hello</b>",
      "--" + b2 + "--",
      "",
      "--" + b1,
      "Content-Transfer-Encoding: base64",
      "Content-Type: " + fileType + "; name=\"notes.bin\"",
      "Content-Disposition: attachment; filename=\"notes.bin\"",
      "Content-Length: " + std::to_string(encoded.size()),
      "",
      base64[0],
      base64[1],
      "",
      "--" + b1 + "--",
  };
  EXPECT_EQ(lines, expected);
  MimeTest::Record(
      "layout_text_html_file", text,
      Addressed(MimeTest::Multipart(
          "multipart/mixed", {MimeTest::Multipart("multipart/alternative",
                                                  {MimeTest::Text("text/plain", "Hello\r\nWorld"),
                                                   MimeTest::Text("text/html", "<b>Hello</b>")}),
                              MimeTest::File(fileType, content, "notes.bin")})));
}

}  // namespace
}  // namespace MailVrex
