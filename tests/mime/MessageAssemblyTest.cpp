// The tree shapes a message takes for its bodies and files, and how the
// tree is rearranged as parts are added.
#include <gtest/gtest.h>

#include <functional>

#include "MessageCorpus.h"
#include "TestSupport.h"
#include "mail/codec/ContentTypes.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {
namespace {

using MimeTest::ExpectedMessage;
using MimeTest::ExpectedPart;
using MimeTest::File;
using MimeTest::Multipart;
using MimeTest::Text;

const std::string kText = "Plain text\r\nsecond line =\r\n";
const std::string kHtml = "<p>caf\xE9</p>";

// The tree as media types, children in brackets, for readable comparisons.
std::string ShapeOf(const TMailPart& part) {
  std::string shape = ContentTypeOf(part);
  if (part.SubParts.Empty()) return shape;
  shape += "[";
  for (const TMailPart* child : part.SubParts)
    shape += ShapeOf(*child) + (child == part.SubParts.Items(part.SubParts.Count() - 1) ? "" : ",");
  return shape + "]";
}

struct ShapeCase {
  const char* name;
  std::function<void(TMailMessageVrex&)> build;
  const char* shape;
  std::function<ExpectedPart()> expected;
};

void AttachA(TMailMessageVrex& m) {
  m.AttachStream(MimeTest::ByteRamp(256), "dir/a.bin", "", TEncodingType::etBase64, false);
}
void AttachB(TMailMessageVrex& m) {
  m.AttachStream(MimeTest::ByteRamp(58), "c:\\x\\b.png", "image/png", TEncodingType::etBase64,
                 false);
}
void EmbedC(TMailMessageVrex& m) {
  m.AttachStream(MimeTest::ByteRamp(57), "c.gif", "image/gif", TEncodingType::etBase64, true);
}

ExpectedPart FileA() {
  return File(ContentTypeOfFile("a.bin"), MimeTest::ByteRamp(256), "a.bin");
}
ExpectedPart FileB() {
  return File("image/png", MimeTest::ByteRamp(58), "b.png");
}
ExpectedPart FileC() {
  ExpectedPart part = File("image/gif", MimeTest::ByteRamp(57), "c.gif", "inline");
  part.ContentId = "<c.gif>";
  return part;
}
ExpectedPart ExpectedText() {
  return Text("text/plain", kText);
}
ExpectedPart ExpectedHtml() {
  return Text("text/html", kHtml);
}

const ShapeCase kShapes[] = {
    {"text", [](auto& m) { m.SetTextBody(kText); }, "text/plain", [] { return ExpectedText(); }},
    {"html", [](auto& m) { m.SetHtmlBody(kHtml); }, "text/html", [] { return ExpectedHtml(); }},
    {"text_html",
     [](auto& m) {
       m.SetTextBody(kText);
       m.SetHtmlBody(kHtml);
     },
     "multipart/alternative[text/plain,text/html]",
     [] {
       return Multipart("multipart/alternative", {ExpectedText(), ExpectedHtml()});
     }},
    {"one_file", AttachA, "application/octet-stream", [] { return FileA(); }},
    {"two_files",
     [](auto& m) {
       AttachA(m);
       AttachB(m);
     },
     "multipart/mixed[application/octet-stream,image/png]",
     [] {
       return Multipart("multipart/mixed", {FileA(), FileB()});
     }},
    {"text_html_files",
     [](auto& m) {
       m.SetTextBody(kText);
       m.SetHtmlBody(kHtml);
       AttachA(m);
       AttachB(m);
     },
     "multipart/mixed[multipart/alternative[text/plain,text/html],application/octet-stream,"
     "image/png]",
     [] {
       return Multipart("multipart/mixed",
                        {Multipart("multipart/alternative", {ExpectedText(), ExpectedHtml()}),
                         FileA(), FileB()});
     }},
    {"text_embedded",
     [](auto& m) {
       m.SetTextBody(kText);
       EmbedC(m);
     },
     "multipart/related[text/plain,image/gif]",
     [] {
       return Multipart("multipart/related", {ExpectedText(), FileC()});
     }},
    {"text_html_embedded_file",
     [](auto& m) {
       m.SetTextBody(kText);
       m.SetHtmlBody(kHtml);
       EmbedC(m);
       AttachA(m);
     },
     "multipart/mixed[multipart/related[multipart/alternative[text/plain,text/html],image/gif],"
     "application/octet-stream]",
     [] {
       return Multipart(
           "multipart/mixed",
           {Multipart(
                "multipart/related",
                {Multipart("multipart/alternative", {ExpectedText(), ExpectedHtml()}), FileC()}),
            FileA()});
     }},
    {"embedded_only", EmbedC, "multipart/related[image/gif]",
     [] { return Multipart("multipart/related", {FileC()}); }},
};

TEST(ArrangeParts, EveryShapeOfBodiesAndFilesGivesItsTree) {
  for (const ShapeCase& c : kShapes) {
    SCOPED_TRACE(c.name);
    TMailMessageVrex message;
    message.SetFrom("Ann", "ann@x");
    message.ToList.Add("", "to@x");
    c.build(message);
    EXPECT_TRUE(message.NeedRebuild);
    std::string text = MimeTest::Sent(message);
    EXPECT_FALSE(message.NeedRebuild);
    EXPECT_EQ(ShapeOf(message), c.shape);
    MimeTest::ExpectTreeSound(message);
    ExpectedMessage expected;
    expected.Tree = c.expected();
    expected.From = {{"Ann", "ann@x"}};
    expected.To = {{"", "to@x"}};
    MimeTest::Record(std::string("shape_") + c.name, text, expected);
  }
}

TEST(ArrangeParts, MixedAndAlternativeBoundariesCarryTheirSuffixes) {
  TMailMessageVrex message;
  message.SetTextBody("t");
  message.SetHtmlBody("h");
  AttachA(message);
  AttachB(message);
  ASSERT_EQ(message.SubParts.Count(), 3);
  EXPECT_EQ(message.AlternativePart, message.SubParts.Items(0));
  EXPECT_EQ(message.MixedPart, &message);
  EXPECT_EQ(message.BodyContainer, message.AlternativePart);
  std::string mixed = BoundaryOf(message);
  std::string alternative = BoundaryOf(*message.AlternativePart);
  EXPECT_EQ(mixed.size(), 16u + 6u);
  EXPECT_EQ(mixed.substr(16), "_mixed");
  EXPECT_EQ(alternative.substr(16), "_alternative");
  EXPECT_EQ(message.TextPart->ParentPart, message.AlternativePart);
}

TEST(ArrangeParts, SingleBodyMessageIsItsOwnTextPartWithFieldsInOrder) {
  TMailMessageVrex message;
  message.SetFrom("", "a@x");
  message.SetTextBody("hi");
  EXPECT_EQ(message.TextPart, &message);
  EXPECT_TRUE(message.NeedRebuild);
  EXPECT_EQ(
      message.HeaderLines,
      (std::vector<std::string>{"From: <a@x>", "Mime-Version: 1.0", "X-Mailer: Pellam MailVrex",
                                "Content-Transfer-Encoding: quoted-printable",
                                "Content-Type: text/plain; charset=\"gb2312\"",
                                "Content-Disposition: inline", "Content-Length: 2"}));
  message.Rebuild();
  EXPECT_EQ(message.Body, "hi");
  EXPECT_EQ(message.OwnedPartCount(), 0u);
}

TEST(StoreBody, SecondTextReplacesContentWithoutRearranging) {
  TMailMessageVrex message;
  message.SetTextBody("one");
  message.SetHtmlBody("h");
  std::string boundary = BoundaryOf(message);
  TMailPart* text = message.TextPart;
  message.Rebuild();
  message.SetTextBody("two\nlines");
  EXPECT_TRUE(message.NeedRebuild);
  EXPECT_EQ(message.TextPart, text);
  EXPECT_EQ(BoundaryOf(message), boundary);
  EXPECT_EQ(text->DecodedBody, "two\r\nlines");
  EXPECT_EQ(text->GetFieldValue("Content-Length"), "10");
}

TEST(StoreBody, EveryKindOfLineBreakBecomesCrLf) {
  TMailMessageVrex message;
  message.TextEncoding = TEncodingType::etNoEncoding;
  message.SetTextBody("a\rb\nc\r\nd\n\re");
  EXPECT_EQ(message.Body, "a\r\nb\r\nc\r\nd\r\n\r\ne");
}

TEST(StoreBody, LeadByteBeforeALineBreakLeavesTheBreakToBeSeen) {
  struct Case {
    const char* text;
    const char* body;
  };
  const Case cases[] = {
      {"\xB0\n\n", "\xB0\r\n\r\n"},
      {"\xB0\r", "\xB0\r\n"},
      {"total 5\xE2\x82\xAC\nnext line", "total 5\xE2\x82\xAC\r\nnext line"},
      {"\xB0\xA1\r\n\xB0\xA1", "\xB0\xA1\r\n\xB0\xA1"},
  };
  for (const auto& c : cases) {
    TMailMessageVrex message;
    message.TextEncoding = TEncodingType::etNoEncoding;
    message.SetTextBody(c.text);
    EXPECT_EQ(message.Body, c.body) << c.text;
  }
}

TEST(AttachStream, SingleFileIsTheMessageItselfWithFieldsInOrder) {
  TMailMessageVrex message;
  AttachA(message);
  EXPECT_TRUE(message.SubParts.Empty());
  EXPECT_TRUE(message.Attachments.Contains(&message));
  std::string type = ContentTypeOfFile("a.bin");
  EXPECT_EQ(message.HeaderLines,
            (std::vector<std::string>{
                "Mime-Version: 1.0", "X-Mailer: Pellam MailVrex",
                "Content-Transfer-Encoding: base64", "Content-Type: " + type + "; name=\"a.bin\"",
                "Content-Disposition: attachment; filename=\"a.bin\"", "Content-Length: 354"}));
}

TEST(AttachStream, SecondFileMovesTheFirstOutOfTheMessage) {
  TMailMessageVrex message;
  AttachA(message);
  std::string firstBody = message.Body;
  AttachB(message);
  ASSERT_EQ(message.SubParts.Count(), 2);
  EXPECT_EQ(message.SubParts.Items(0)->Body, firstBody);
  EXPECT_FALSE(message.Attachments.Contains(&message));
  EXPECT_EQ(message.Attachments.Count(), 2);
  EXPECT_EQ(message.GetFieldValue("Content-Disposition"), "");
  EXPECT_EQ(message.GetFieldValue("Content-Length"), "");
}

TEST(AttachStream, EmbeddedFileGetsInlineAndContentIdLast) {
  TMailMessageVrex message;
  message.SetTextBody("t");
  EmbedC(message);
  TMailPart* file = message.SubParts.Items(1);
  EXPECT_TRUE(file->IsEmbedded);
  EXPECT_EQ(file->HeaderLines.back(), "Content-ID: <c.gif>");
  EXPECT_EQ(file->GetFieldValue("Content-Disposition"), "inline");
  EXPECT_EQ(message.RelatedPart, &message);
}

TEST(AttachStream, UnnamedFileIsNamedByTheNextArrangementThatPlacesIt) {
  TMailMessageVrex message;
  message.AttachStream("x", "", "application/pdf", TEncodingType::etBase64, false);
  EXPECT_EQ(GetFieldParam(message, "Content-Type", "name"), "");
  message.AttachStream("y", "", "application/pdf", TEncodingType::etBase64, false);
  const std::string extension = ExtensionOfContentType("application/pdf");
  EXPECT_EQ(GetFieldParam(*message.SubParts.Items(0), "Content-Type", "name"),
            "file_0" + extension);
  EXPECT_EQ(GetFieldParam(*message.SubParts.Items(0), "Content-Disposition", "filename"),
            "file_0" + extension);
  EXPECT_EQ(GetFieldParam(*message.SubParts.Items(1), "Content-Type", "name"), "");
}

TEST(AttachStream, UnnamedFilesOfOneArrangementAreNumberedInOrder) {
  TMailMessageVrex message;
  AttachA(message);
  AttachB(message);
  for (TMailPart* file : message.Attachments) {
    file->SetFieldParam("Content-Type", "name", "");
    file->SetFieldParam("Content-Disposition", "filename", "");
  }
  message.AttachStream("z", "z.pdf", "", TEncodingType::etBase64, false);
  EXPECT_EQ(GetFieldParam(*message.SubParts.Items(0), "Content-Type", "name"),
            "file_0" + ExtensionOfContentType(ContentTypeOfFile("a.bin")));
  EXPECT_EQ(GetFieldParam(*message.SubParts.Items(1), "Content-Type", "name"),
            "file_1" + ExtensionOfContentType("image/png"));
  EXPECT_EQ(message.UnnamedCount, 2);
}

TEST(AttachFile, KeepsOnlyTheLastPathElementAndTakesTheRegisteredType) {
  MimeTest::TempFile file("report.txt", "data");
  TMailMessageVrex message;
  message.AttachFile(file.Path(), "", TEncodingType::etBase64, false);
  EXPECT_EQ(message.GetFieldValue("Content-Type"), ContentTypeOfFile("report.txt"));
  EXPECT_EQ(GetFieldParam(message, "Content-Type", "name"), "report.txt");
  EXPECT_EQ(GetFieldParam(message, "Content-Disposition", "filename"), "report.txt");
  EXPECT_NE(message.HeaderLines[3].find("name=\"report.txt\""), std::string::npos);
}

TEST(Rebuild, AddingAFileAfterRebuildDrawsNewBoundariesForEveryContainer) {
  TMailMessageVrex message;
  message.SetTextBody("t");
  message.SetHtmlBody("h");
  AttachA(message);
  message.Rebuild();
  std::string mixed = BoundaryOf(message);
  std::string alternative = BoundaryOf(*message.AlternativePart);
  AttachB(message);
  EXPECT_TRUE(message.NeedRebuild);
  EXPECT_NE(BoundaryOf(message), mixed);
  EXPECT_NE(BoundaryOf(*message.AlternativePart), alternative);
  std::string text = MimeTest::Sent(message);
  EXPECT_EQ(text.find(mixed), std::string::npos);
  MimeTest::ExpectTreeSound(message);
  EXPECT_EQ(message.OwnedPartCount(), 5u);  // alternative, text, HTML, two files
}

TEST(Rebuild, SecondCallWithoutChangeDoesNothing) {
  TMailMessageVrex message;
  message.SetTextBody("t");
  AttachA(message);
  message.Rebuild();
  std::string body = message.Body;
  message.Body += "marker";
  message.Rebuild();
  EXPECT_EQ(message.Body, body + "marker");
}

TEST(Rebuild, InnerHeaderLinesStayUnfoldedWhileTopHeaderFolds) {
  TMailMessageVrex message;
  std::string longName(80, 'n');
  message.SetSubject(std::string(40, 's') + " " + std::string(40, 's'));
  message.SetTextBody("t");
  message.AttachStream("x", longName + ".bin", "", TEncodingType::etBase64, false);
  std::vector<std::string> lines = MimeTest::LinesOf(MimeTest::Sent(message), true);
  EXPECT_EQ(lines[0], "Subject: " + std::string(40, 's'));
  EXPECT_EQ(lines[1], " " + std::string(40, 's'));
  bool found = false;
  for (const std::string& line : lines)
    if (line.rfind("Content-Type: ", 0) == 0 && line.find(longName) != std::string::npos)
      found = line.size() > 72;
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace MailVrex
