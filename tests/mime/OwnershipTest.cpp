// The message owns every part it creates; early destruction leaves no
// reference behind, and the message never ends up below itself.
#include <gtest/gtest.h>

#include "MessageCorpus.h"
#include "TestSupport.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {
namespace {

void AttachFile(TMailMessageVrex& message, std::string content, const char* name) {
  message.AttachStream(std::move(content), name, "application/pdf", TEncodingType::etBase64, false);
}

TEST(Ownership, DiscardedContainersAndMovedContentLeaveNoPartBehind) {
  TMailMessageVrex message;
  message.SetTextBody("t");           // the message itself
  message.SetHtmlBody("h");           // text moved out, alternative message
  AttachFile(message, "1", "1.pdf");  // alternative becomes a part under mixed
  message.Rebuild();
  AttachFile(message, "2", "2.pdf");  // old containers discarded, stale body moved out
  message.Rebuild();
  MimeTest::ExpectTreeSound(message);
  EXPECT_EQ(message.OwnedPartCount(), 5u);
}

TEST(Ownership, ResetDestroysEveryPartAndClearsEveryRole) {
  TMailMessageVrex message;
  message.SetTextBody("t");
  message.SetHtmlBody("h");
  AttachFile(message, "1", "1.pdf");
  message.Reset();
  EXPECT_EQ(message.OwnedPartCount(), 0u);
  EXPECT_TRUE(message.SubParts.Empty());
  EXPECT_TRUE(message.Attachments.Empty());
  for (TMailPart* role : {message.TextPart, message.HtmlPart, message.MixedPart,
                          message.RelatedPart, message.AlternativePart, message.BodyContainer})
    EXPECT_EQ(role, nullptr);
  message.SetTextBody("again");
  EXPECT_EQ(message.TextPart, &message);
}

// The empty body stays a part of its own once containers are needed.
TEST(Ownership, EmptyBodyOnEmptyMessageNeverPlacesTheMessageBelowItself) {
  struct Case {
    const char* name;
    bool htmlFirst;
    bool thenFile;
  };
  const Case cases[] = {
      {"empty_text_then_html", false, false},
      {"empty_html_then_text", true, false},
      {"empty_text_then_file", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMailMessageVrex message;
    if (c.htmlFirst) {
      message.SetHtmlBody("");
      message.SetTextBody("text");
    } else {
      message.SetTextBody("");
      if (c.thenFile)
        AttachFile(message, "f", "f.pdf");
      else
        message.SetHtmlBody("<p>html</p>");
    }
    std::string text = MimeTest::Sent(message);
    MimeTest::ExpectTreeSound(message);
    ASSERT_NE(message.TextPart, nullptr);
    EXPECT_NE(message.TextPart, &message);
    EXPECT_EQ(message.SubParts.Count(), 2);
    MimeTest::ExpectedMessage expected;
    if (c.thenFile) {
      expected.Tree = MimeTest::Multipart(
          "multipart/mixed",
          {MimeTest::Text("text/plain", ""), MimeTest::File("application/pdf", "f", "f.pdf")});
    } else {
      // The body added by the call that arranged the tree comes last.
      std::vector<MimeTest::ExpectedPart> bodies = {MimeTest::Text("text/plain", ""),
                                                    MimeTest::Text("text/html", "<p>html</p>")};
      if (c.htmlFirst)
        bodies = {MimeTest::Text("text/html", ""), MimeTest::Text("text/plain", "text")};
      expected.Tree = MimeTest::Multipart("multipart/alternative", bodies);
    }
    MimeTest::Record(c.name, text, expected);
  }
}

TEST(Ownership, EmptySingleFileSurvivesWhenASecondFileArrives) {
  TMailMessageVrex message;
  AttachFile(message, "", "empty.pdf");
  AttachFile(message, "x", "x.pdf");
  std::string text = MimeTest::Sent(message);
  MimeTest::ExpectTreeSound(message);
  ASSERT_EQ(message.SubParts.Count(), 2);
  EXPECT_EQ(GetFieldParam(*message.SubParts.Items(0), "Content-Type", "name"), "empty.pdf");
  MimeTest::ExpectedMessage expected;
  expected.Tree =
      MimeTest::Multipart("multipart/mixed", {MimeTest::File("application/pdf", "", "empty.pdf"),
                                              MimeTest::File("application/pdf", "x", "x.pdf")});
  MimeTest::Record("empty_file_then_file", text, expected);
}

TEST(Ownership, TextWithNulBytesSurvivesRearrangement) {
  TMailMessageVrex message;
  const std::string content("a\0b=41", 6);
  message.SetTextBody(content);
  AttachFile(message, "x", "x.pdf");
  EXPECT_EQ(message.TextPart->DecodedBody, content);
  std::string text = MimeTest::Sent(message);
  MimeTest::ExpectedMessage expected;
  expected.Tree = MimeTest::Multipart(
      "multipart/mixed",
      {MimeTest::Text("text/plain", content), MimeTest::File("application/pdf", "x", "x.pdf")});
  MimeTest::Record("text_with_nul", text, expected);
}

}  // namespace
}  // namespace MailVrex
