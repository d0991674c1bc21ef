// Folding header blocks to 72 columns.
#include <gtest/gtest.h>

#include "mail/codec/HeaderLines.h"

using namespace MailVrex;

namespace {

// A To line of 100 characters: "To: " and addresses "userNN@example.com, ".
std::string AddressLine() {
  std::string line = "To: ";
  for (int i = 10; line.size() < 100; ++i) line += "user" + std::to_string(i) + "@example.com, ";
  return line.substr(0, 100);
}

TEST(FoldHeaderText, KeepsShortLinesAndEndsEachWithCrLf) {
  EXPECT_EQ(FoldHeaderText("A: 1\r\nB: 2"), "A: 1\r\nB: 2\r\n");
  EXPECT_EQ(FoldHeaderText(std::string(72, 'x')), std::string(72, 'x') + "\r\n");
}

TEST(FoldHeaderText, NormalisesLineEndsAndDropsTrailingOnes) {
  EXPECT_EQ(FoldHeaderText("A: 1\r\n\r\n\r\n"), "A: 1\r\n");
  EXPECT_EQ(FoldHeaderText("A: 1\nB: 2\rC: 3\r\n"), "A: 1\r\nB: 2\r\nC: 3\r\n");
  EXPECT_EQ(FoldHeaderText("A\n\nB"), "A\r\n\r\nB\r\n");
  EXPECT_EQ(FoldHeaderText(""), "");
  EXPECT_EQ(FoldHeaderText("\r\n\n"), "");
}

TEST(FoldHeaderText, BreaksAtLastSpaceBeforeColumn72) {
  std::string line = AddressLine();
  std::size_t space = line.rfind(' ', 71);
  std::string folded = FoldHeaderText(line);
  EXPECT_EQ(folded, line.substr(0, space) + "\r\n\t" + line.substr(space + 1) + "\r\n");
}

TEST(FoldHeaderText, KeepsACommaOrSemicolonBeforeTheBreak) {
  std::string line = "X: " + std::string(60, 'a') + ";" + std::string(20, 'b');
  EXPECT_EQ(FoldHeaderText(line),
            "X: " + std::string(60, 'a') + ";\r\n\t" + std::string(20, 'b') + "\r\n");
}

TEST(FoldHeaderText, LeavesALineWithoutBreakCharactersWhole) {
  std::string line = "X-Long: " + std::string(92, 'z');
  EXPECT_EQ(FoldHeaderText(line), line + "\r\n");
}

TEST(FoldHeaderText, NeverBreaksBeforeTheValueStarts) {
  // The only space is the one after the colon.
  std::string line = "Subject: " + std::string(80, 'q');
  EXPECT_EQ(FoldHeaderText(line), line + "\r\n");
}

TEST(FoldHeaderText, SkipsBreaksInsideQuotes) {
  std::string quoted = "\"" + std::string(30, 'n') + " " + std::string(50, 'n') + "\"";
  std::string line = "To: a@b.c, " + quoted + " <x@y.z>";
  EXPECT_EQ(FoldHeaderText(line), "To: a@b.c,\r\n\t" + quoted + " <x@y.z>\r\n");
}

TEST(FoldHeaderText, TreatsAQuoteWithoutPartnerAsOrdinary) {
  std::string line = "To: O'Brien " + std::string(70, 'o');
  EXPECT_EQ(FoldHeaderText(line), "To: O'Brien\r\n\t" + std::string(70, 'o') + "\r\n");
}

TEST(FoldHeaderText, FoldsAVeryLongLineAgainAndAgain) {
  std::string line = "X: ";
  for (int i = 0; i < 2000; ++i) line += "word ";
  std::string folded = FoldHeaderText(line);
  std::ptrdiff_t position = 1;
  std::size_t lines = 0;
  while (position > 0) {
    std::string piece = TakeNextLine(folded, position);
    ASSERT_LE(piece.size(), 72u + 1 + 2) << piece;  // tab, 72 columns, CR LF
    ++lines;
  }
  EXPECT_GT(lines, 100u);
}

TEST(FoldHeaderText, FoldsAContinuationThatBeginsWithATabFromColumn36) {
  std::string line = "\t" + std::string(30, 'a') + " " + std::string(50, 'b');
  EXPECT_EQ(FoldHeaderText(line), line + "\r\n");
  std::string later = "\t" + std::string(40, 'a') + " " + std::string(50, 'b');
  EXPECT_EQ(FoldHeaderText(later),
            "\t" + std::string(40, 'a') + "\r\n\t" + std::string(50, 'b') + "\r\n");
}

}  // namespace
