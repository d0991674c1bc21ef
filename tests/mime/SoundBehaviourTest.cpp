// Bad input: no header or command injection, no line beyond what mail
// servers accept, and unreadable files refused without harm.
#include <gtest/gtest.h>

#include <set>

#include "MessageCorpus.h"
#include "TestSupport.h"
#include "mail/codec/HeaderWords.h"
#include "mail/codec/MailError.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"
#include "platform/CodePage.h"

namespace MailVrex {
namespace {

const std::set<std::string> kTopFields = {"X-Priority",
                                          "From",
                                          "To",
                                          "Cc",
                                          "Subject",
                                          "Mime-Version",
                                          "X-Mailer",
                                          "Content-Type",
                                          "Content-Transfer-Encoding",
                                          "Content-Disposition",
                                          "Content-Length",
                                          "Content-ID",
                                          "Message-ID"};

// Every header line of the top entity is a known field or a continuation.
void ExpectOnlyKnownFields(const std::string& text) {
  std::vector<std::string> lines = MimeTest::LinesOf(text.substr(0, text.find("\r\n\r\n") + 2));
  for (const std::string& line : lines) {
    if (line.empty() || line[0] == '\t' || line[0] == ' ') continue;
    EXPECT_EQ(kTopFields.count(line.substr(0, line.find(':'))), 1u) << "injected line: " << line;
  }
}

void ExpectLinesFit(const std::string& text) {
  for (const std::string& line : MimeTest::LinesOf(text, true))
    EXPECT_LE(line.size(), kMaxLineLength) << line.substr(0, 40);
}

std::string Gbk(int characters) {
  std::string text;
  for (int i = 0; i < characters; ++i) {
    text += static_cast<char>(0xB0 + i % 40);
    text += static_cast<char>(0xA1 + i % 80);
  }
  return text;
}

TEST(HeaderInjection, LineBreaksInNamesSubjectAndFileNamesBecomeEncodedWords) {
  TMailMessageVrex message;
  // No colon: in a file name that would count as a drive separator.
  const std::string evil = "x\r\nX-Evil\r\n\r\nbody";
  message.SetFrom(evil, "a@x");
  message.ToList.Add(evil, "b@x");
  message.SetSubject(evil);
  message.SetTextBody("t");
  message.AttachStream("data", evil + ".txt", "", TEncodingType::etBase64, false);
  message.AttachStream("data", evil + ".gif", "image/gif", TEncodingType::etBase64, true);
  std::string text = MimeTest::Sent(message);
  ExpectOnlyKnownFields(text);
  EXPECT_EQ(text.find("\r\nX-Evil"), std::string::npos);
  MimeTest::ExpectedMessage expected;
  expected.Subject = evil;
  expected.From = {{evil, "a@x"}};
  expected.To = {{evil, "b@x"}};
  MimeTest::ExpectedPart embedded = MimeTest::File("image/gif", "data", evil + ".gif", "inline");
  embedded.ContentId = "<x%0D%0AX-Evil%0D%0A%0D%0Abody.gif>";
  expected.Tree = MimeTest::Multipart(
      "multipart/mixed",
      {MimeTest::Multipart("multipart/related", {MimeTest::Text("text/plain", "t"), embedded}),
       MimeTest::File(message.Attachments.Items(0)->GetFieldValue("Content-Type"), "data",
                      evil + ".txt")});
  MimeTest::Record("injection_names", text, expected);
}

// Addresses that could end a line are refused; content types and field
// values keep to their one line.
TEST(HeaderInjection, AddressesContentTypesAndValuesCannotEndALine) {
  TMailMessageVrex message;
  EXPECT_THROW(message.SetFrom("", "a@x\r\nX-Evil: 2"), MailError);
  EXPECT_THROW(message.ToList.Add("", "b@x\nX-Evil: 3"), MailError);
  message.SetFrom("", "a@x");
  message.ToList.Add("", "b@x");
  message.SetFieldValue("X-Note", "a\nBcc: someone@example.org\r\n\r\nX-Evil: 5");
  message.SetFieldValue("Comments", "folded\r\n line");
  message.SetTextBody("t");
  message.AttachStream("d", "f.bin", "application/pdf\r\nX-Evil: 4", TEncodingType::etBase64,
                       false);
  std::string text = MimeTest::Sent(message);
  EXPECT_EQ(text.find("\r\nX-Evil"), std::string::npos);
  EXPECT_EQ(text.find("\r\nBcc"), std::string::npos);
  EXPECT_EQ(message.GetFieldValue("X-Note"), "a Bcc: someone@example.org  X-Evil: 5");
  EXPECT_EQ(message.GetFieldValue("Comments"), "folded line");
}

TEST(LineLength, LongEncodedWordIsSplitBetweenWholeCharacters) {
  const std::string value = Gbk(200);
  const std::string packed = PackHeaderText(value, "gb2312");
  std::string rejoined;
  std::size_t start = 0;
  while (start < packed.size()) {
    std::size_t end = packed.find(' ', start);
    if (end == std::string::npos) end = packed.size();
    std::string word = packed.substr(start, end - start);
    EXPECT_LE(word.size(), kMaxEncodedWordLength);
    EXPECT_EQ(word.substr(0, 11), "=?gb2312?Q?");
    std::string decoded = UnpackHeaderWords(word);
    // Whole double-byte characters only: every lead byte has its trail byte.
    for (std::size_t i = 0; i < decoded.size(); i += 2) {
      EXPECT_TRUE(platform::IsLeadByte(static_cast<unsigned char>(decoded[i])) &&
                  i + 1 < decoded.size())
          << "word ends inside a character: " << word;
    }
    rejoined += decoded;
    start = end + 1;
  }
  EXPECT_EQ(rejoined, value);
  EXPECT_EQ(UnpackHeaderText(packed), value);
}

TEST(LineLength, Utf8WordsAreCutBetweenWholeCharacters) {
  std::string value;
  for (int i = 0; i < 60; ++i) value += "\xE4\xB8\xAD";
  const std::string packed = PackHeaderText(value, "UTF-8");
  std::size_t start = 0;
  while (start < packed.size()) {
    std::size_t end = std::min(packed.find(' ', start), packed.size());
    EXPECT_EQ(UnpackHeaderWords(packed.substr(start, end - start)).size() % 3, 0u);
    start = end + 1;
  }
  EXPECT_EQ(UnpackHeaderText(packed), value);
}

TEST(LineLength, ValuesThatFitStayExactlyAsPackedWords) {
  struct Case {
    std::string value;
  };
  const std::string fits = Gbk(10);  // 11 + 60 + 2 = 73 characters as one word
  const Case cases[] = {{"plain subject"}, {fits}, {std::string(900, 'a')}, {"a\r\nb"}};
  for (const Case& c : cases)
    EXPECT_EQ(PackHeaderText(c.value, "gb2312"), PackHeaderWord(c.value, "gb2312"));
  EXPECT_NE(PackHeaderText(Gbk(12), "gb2312"), PackHeaderWord(Gbk(12), "gb2312"));
}

TEST(LineLength, NoLineOfAMessageExceeds998Characters) {
  TMailMessageVrex message;
  const std::string longName = Gbk(400);
  const std::string longSubject = Gbk(300) + " " + std::string(2000, 'a');
  message.SetFrom(longName, "a@x");
  message.ToList.Add(longName, "b@x");
  message.SetSubject(longSubject);
  message.SetTextBody(std::string(3000, 'x'));
  message.AttachStream("data", Gbk(400) + ".bin", "application/pdf", TEncodingType::etBase64,
                       false);
  std::string text = MimeTest::Sent(message);
  ExpectLinesFit(text);
  ExpectOnlyKnownFields(text);
  MimeTest::ExpectedMessage expected;
  expected.Subject = longSubject;
  expected.From = {{longName, "a@x"}};
  expected.To = {{longName, "b@x"}};
  expected.Tree = MimeTest::Multipart(
      "multipart/mixed", {MimeTest::Text("text/plain", std::string(3000, 'x')),
                          MimeTest::File("application/pdf", "data", Gbk(400) + ".bin")});
  MimeTest::Record("long_lines", text, expected);
}

TEST(LineLength, OverlongLinesBreakAtABlankEvenInsideQuotes) {
  std::string line = "X-A: \"" + std::string(600, 'a') + " " + std::string(600, 'b') + "\"";
  std::string folded = FoldOverlongLines(line + "\r\n");
  EXPECT_EQ(folded, "X-A: \"" + std::string(600, 'a') + "\r\n " + std::string(600, 'b') + "\"\r\n");
  EXPECT_EQ(FoldOverlongLines("short\r\n"), "short\r\n");
}

TEST(AttachFile, MissingFileRaisesNamingItAndLeavesMessageAsItWas) {
  TMailMessageVrex message;
  message.SetTextBody("t");
  message.Rebuild();
  const std::vector<std::string> header = message.HeaderLines;
  const std::string body = message.Body;
  const std::string missing = "no/such/dir/missing-file.txt";
  try {
    message.AttachFile(missing, "", TEncodingType::etBase64, false);
    ADD_FAILURE() << "no error raised";
  } catch (const MailError& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
  EXPECT_EQ(message.HeaderLines, header);
  EXPECT_EQ(message.Body, body);
  EXPECT_FALSE(message.NeedRebuild);
  EXPECT_EQ(message.OwnedPartCount(), 0u);
  EXPECT_TRUE(message.Attachments.Empty());
}

TEST(AttachFile, FolderIsRefusedLikeAMissingFile) {
  MimeTest::TempFile file("inside.txt", "x");
  std::string folder = file.Path().substr(0, file.Path().size() - 11);
  TMailMessageVrex message;
  EXPECT_THROW(message.AttachFile(folder, "", TEncodingType::etBase64, false), MailError);
  EXPECT_TRUE(message.HeaderLines.empty());
}

TEST(AttachFile, ReadsEveryByteOfFilesOfTheAwkwardSizes) {
  const std::size_t sizes[] = {0, 1, 57, 58, 256, 1024 * 1024};
  TMailMessageVrex message;
  message.SetTextBody("files");
  std::vector<MimeTest::ExpectedPart> parts = {MimeTest::Text("text/plain", "files")};
  for (std::size_t size : sizes) {
    std::string name = "f" + std::to_string(size) + ".pdf";
    MimeTest::TempFile file(name, MimeTest::ByteRamp(size));
    message.AttachFile(file.Path(), "", TEncodingType::etBase64, false);
    parts.push_back(MimeTest::File(
        message.Attachments.Items(message.Attachments.Count() - 1)->GetFieldValue("Content-Type"),
        MimeTest::ByteRamp(size), name));
  }
  std::string text = MimeTest::Sent(message);
  ASSERT_EQ(message.Attachments.Count(), 6);
  for (int i = 0; i < 6; ++i) {
    TMailPart* part = message.Attachments.Items(i);
    part->Decode();  // the content comes back from the transmitted form
    EXPECT_EQ(part->DecodedBody, MimeTest::ByteRamp(sizes[i])) << sizes[i];
  }
  MimeTest::ExpectedMessage expected;
  expected.Tree = MimeTest::Multipart("multipart/mixed", parts);
  MimeTest::Record("awkward_sizes", text, expected);
}

}  // namespace
}  // namespace MailVrex
