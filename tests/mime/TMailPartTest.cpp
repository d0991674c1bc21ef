// Header field access and body coding of a single part.
#include "mail/mime/TMailPart.h"

#include <gtest/gtest.h>

#include "mail/codec/MailError.h"

namespace MailVrex {
namespace {

using Lines = std::vector<std::string>;

TEST(GetFieldValue, FindsFieldWhateverTheCaseAndDropsParameters) {
  TMailPart part;
  part.HeaderLines = {"content-type: text/plain; charset=\"gb2312\""};
  EXPECT_EQ(part.GetFieldValue("Content-Type"), "text/plain");
  EXPECT_EQ(GetFieldParam(part, "CONTENT-TYPE", "charset"), "gb2312");
  EXPECT_EQ(part.GetFieldValue("Subject"), "");
}

TEST(GetFieldValue, RemovesAnyPairOfQuotationMarksButKeepsTwoAlone) {
  struct Case {
    const char* line;
    const char* value;
  };
  // Two double quotes alone are already dropped by the line's value rule.
  const Case cases[] = {
      {"X-A: \"abc'", "abc"}, {"X-A: 'abc'", "abc"}, {"X-A: \"\"", ""},
      {"X-A: ''", "''"},      {"X-A: a", "a"},
  };
  for (const Case& c : cases) {
    TMailPart part;
    part.HeaderLines = {c.line};
    EXPECT_EQ(part.GetFieldValue("X-A"), c.value) << c.line;
  }
}

TEST(SetFieldValue, AppendsThenChangesInPlaceThenRemoves) {
  TMailPart part;
  part.HeaderLines = {"From: <a@b>"};
  part.SetFieldValue("X-Priority", "3");
  EXPECT_EQ(part.HeaderLines, (Lines{"From: <a@b>", "X-Priority: 3"}));
  part.SetFieldValue("Subject", "s");
  part.SetFieldValue("X-Priority", "1");
  EXPECT_EQ(part.HeaderLines, (Lines{"From: <a@b>", "X-Priority: 1", "Subject: s"}));
  part.SetFieldValue("x-priority", "");
  EXPECT_EQ(part.HeaderLines, (Lines{"From: <a@b>", "Subject: s"}));
}

TEST(SetFieldValue, OnlyTheFirstOfTwoLinesIsReadChangedOrRemoved) {
  TMailPart part;
  part.HeaderLines = {"X-A: 1", "X-A: 2"};
  EXPECT_EQ(part.GetFieldValue("X-A"), "1");
  part.SetFieldValue("X-A", "3");
  EXPECT_EQ(part.HeaderLines, (Lines{"X-A: 3", "X-A: 2"}));
  part.SetFieldValue("X-A", "");
  EXPECT_EQ(part.HeaderLines, (Lines{"X-A: 2"}));
}

TEST(SetFieldParam, AddsLineWithEmptyValueThenValueGoesBeforeParameter) {
  TMailPart part;
  part.SetFieldParam("Content-Disposition", "filename", "\"a.txt\"");
  ASSERT_EQ(part.HeaderLines.size(), 1u);
  EXPECT_EQ(part.GetFieldValue("Content-Disposition"), "");
  part.SetFieldValue("Content-Disposition", "attachment");
  EXPECT_EQ(part.HeaderLines, (Lines{"Content-Disposition: attachment; filename=\"a.txt\""}));
  EXPECT_EQ(GetFieldParam(part, "Content-Disposition", "filename"), "a.txt");
}

TEST(ContentTypeOf, IsLowerCaseMediaTypeAndBoundaryOfIsUnquoted) {
  TMailPart part;
  part.HeaderLines = {"Content-Type: Multipart/Mixed; boundary=\"b;1\""};
  EXPECT_EQ(ContentTypeOf(part), "multipart/mixed");
  EXPECT_EQ(BoundaryOf(part), "b;1");
}

TEST(Decode, EmptyBodySetsFlagAndKeepsDecodedBodyAndRunsOnce) {
  TMailPart part;
  part.DecodedBody = "kept";
  part.Decode();
  EXPECT_TRUE(part.IsDecoded);
  EXPECT_EQ(part.DecodedBody, "kept");
  part.Body = "new";
  part.Decode();
  EXPECT_EQ(part.DecodedBody, "kept");
}

TEST(Decode, FollowsTheTransferEncodingExactlyAsSpelt) {
  struct Case {
    const char* encoding;
    std::string body;
    std::string decoded;
  };
  const Case cases[] = {
      {"quoted-printable", "caf=E9=\r\nx", "caf\xE9x"},
      {"7bit", std::string("a=41\0b", 6), "aA"},  // taken up to the first NUL
      {"base64", "YWJj\r\nZA==\r\n", "abcd"},
      {"Base64", "YWJj\r\n", "YWJj\r\n"},  // not recognised: copied
      {"", "as is", "as is"},
  };
  for (const Case& c : cases) {
    TMailPart part;
    if (*c.encoding != '\0') part.SetFieldValue("Content-Transfer-Encoding", c.encoding);
    part.Body = c.body;
    part.Decode();
    EXPECT_EQ(part.DecodedBody, c.decoded) << c.encoding;
  }
}

TEST(Decode, Base64LinesLongerThanUsualAreDecodedWhole) {
  TMailPart part;
  part.SetFieldValue("Content-Transfer-Encoding", "base64");
  std::string line;
  for (int i = 0; i < 100; ++i) line += "YWJj";  // 400 characters on one line
  part.Body = line + "\r\n";
  part.Decode();
  EXPECT_EQ(part.DecodedBody.size(), 300u);
}

TEST(Decode, UuencodedBodyEndsUpBase64) {
  TMailPart part;
  part.SetFieldValue("Content-Transfer-Encoding", "uucode");
  part.Body = "#86)C\r\n";                 // "abc"
  EXPECT_THROW(part.Decode(), MailError);  // the CR LF is no uuencode symbol
  TMailPart clean;
  clean.SetFieldValue("Content-Transfer-Encoding", "uucode");
  clean.Body = "#86)C";
  clean.Decode();
  EXPECT_EQ(clean.DecodedBody, "abc");
  EXPECT_EQ(clean.GetFieldValue("Content-Transfer-Encoding"), "base64");
  EXPECT_EQ(clean.Body, "YWJj\r\n");
}

TEST(Encode, EachKindSetsBodyAndField) {
  struct Case {
    TEncodingType kind;
    const char* field;
    std::string body;
  };
  // Unencoded kinds go on the wire as they stand: their line breaks become CR LF.
  const Case cases[] = {
      {TEncodingType::etBase64, "base64", "YWI9DWIKDQo=\r\n"},
      {TEncodingType::etQuotedPrintable, "quoted-printable", "ab=3D=0Db=0A\r\n"},
      {TEncodingType::etNoEncoding, "", "ab=\r\nb\r\n\r\n"},
      {TEncodingType::et7Bit, "7bit", "ab=\r\nb\r\n\r\n"},
  };
  for (const Case& c : cases) {
    TMailPart part;
    part.SetFieldValue("Content-Transfer-Encoding", "old");
    part.DecodedBody = "ab=\rb\n\r\n";
    part.Encode(c.kind);
    EXPECT_EQ(part.Body, c.body) << c.field;
    EXPECT_EQ(part.GetFieldValue("Content-Transfer-Encoding"), c.field);
    EXPECT_EQ(part.DecodedBody, "ab=\rb\n\r\n");
  }
}

TEST(Encode, NoEncodingRemovesFieldSoDecodeCopies) {
  TMailPart part;
  part.DecodedBody = "=41";
  part.Encode(TEncodingType::etNoEncoding);
  EXPECT_TRUE(part.HeaderLines.empty());
  part.DecodedBody.clear();
  part.Decode();
  EXPECT_EQ(part.DecodedBody, "=41");
}

TEST(Encode, QuotedPrintableOfNothingLeavesBodyEmptyAndSetsField) {
  TMailPart part;
  part.Body = "stale";
  part.EncodeQuotedPrintable();
  EXPECT_EQ(part.Body, "");
  EXPECT_EQ(part.GetFieldValue("Content-Transfer-Encoding"), "quoted-printable");
}

TEST(GetSourceText, FoldsOwnHeaderAndAddsBlankLineBeforeBody) {
  TMailPart part;
  part.HeaderLines = {"Subject: " + std::string(40, 'a') + " " + std::string(40, 'b'), "X-A: 1"};
  part.Body = "body";
  EXPECT_EQ(part.GetSourceText(), "Subject: " + std::string(40, 'a') + "\r\n " +
                                      std::string(40, 'b') + "\r\nX-A: 1\r\n\r\nbody");
}

TEST(GetHeaderTextWithout, LeavesOutEveryLineOfTheFieldAndKeepsThemInTheHeader) {
  TMailPart part;
  part.HeaderLines = {"To: a@x", "Bcc: b@x", "Bcc-Note: kept", "bcc: c@x", "Subject: s"};
  const Lines before = part.HeaderLines;
  EXPECT_EQ(part.GetHeaderTextWithout("Bcc"), "To: a@x\r\nBcc-Note: kept\r\nSubject: s\r\n\r\n");
  EXPECT_EQ(part.GetHeaderTextWithout("X-None"), part.GetHeaderText());
  EXPECT_EQ(part.HeaderLines, before);
}

TEST(DetachFromParent, RemovesFromParentOnlyWhenListed) {
  TMailPart parent, child, stranger;
  parent.SubParts.Add(&child);
  child.ParentPart = &parent;
  stranger.ParentPart = &parent;
  DetachFromParent(&stranger);
  EXPECT_EQ(stranger.ParentPart, &parent);
  DetachFromParent(&child);
  EXPECT_EQ(child.ParentPart, nullptr);
  EXPECT_TRUE(parent.SubParts.Empty());
  DetachFromParent(nullptr);
}

}  // namespace
}  // namespace MailVrex
