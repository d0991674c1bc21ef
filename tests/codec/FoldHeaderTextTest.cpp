// Folding header blocks to 72 columns.
#include <gtest/gtest.h>

#include "mail/codec/HeaderLines.h"

using namespace MailVrex;

namespace {

// Built by appending: GCC 12 warns wrongly (-Wrestrict) on chains of concatenation.
std::string Join(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text.append(piece);
  return text;
}

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
  EXPECT_EQ(folded, line.substr(0, space) + "\r\n" + line.substr(space) + "\r\n");
}

// Only where the syntax allows white space after them: elsewhere the blank a
// fold needs would change the text.
TEST(FoldHeaderText, BreaksAfterACommaOrSemicolonOnlyInAddressAndParameterFields) {
  const std::string tail = std::string(50, 'a') + ";" + std::string(30, 'b');
  EXPECT_EQ(FoldHeaderText("Content-Type: " + tail),
            Join({"Content-Type: ", std::string(50, 'a'), ";\r\n ", std::string(30, 'b'), "\r\n"}));
  EXPECT_EQ(FoldHeaderText("cc: x" + tail),
            Join({"cc: x", std::string(50, 'a'), ";\r\n ", std::string(30, 'b'), "\r\n"}));
  EXPECT_EQ(FoldHeaderText("X: " + tail), "X: " + tail + "\r\n");
  EXPECT_EQ(FoldHeaderText("Subject: " + tail), "Subject: " + tail + "\r\n");
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
  std::string quoted = Join({"\"", std::string(30, 'n'), " ", std::string(50, 'n'), "\""});
  std::string line = Join({"To: a@b.c, ", quoted, " <x@y.z>"});
  EXPECT_EQ(FoldHeaderText(line), Join({"To: a@b.c,\r\n ", quoted, " <x@y.z>\r\n"}));
  // A quoted-pair does not end the quoted string.
  std::string escaped = quoted;
  escaped.insert(31, "\\\"");
  EXPECT_EQ(FoldHeaderText(Join({"To: a@b.c, ", escaped, " <x@y.z>"})),
            Join({"To: a@b.c,\r\n ", escaped, " <x@y.z>\r\n"}));
}

TEST(FoldHeaderText, TreatsAQuoteWithoutPartnerAsOrdinary) {
  std::string line = "To: O'Brien " + std::string(70, 'o');
  EXPECT_EQ(FoldHeaderText(line), "To: O'Brien\r\n " + std::string(70, 'o') + "\r\n");
}

TEST(FoldHeaderText, FoldsAVeryLongLineAgainAndAgain) {
  // A ": " in the value is text: it does not stop the folds before it.
  std::string line = "X: ";
  for (int i = 0; i < 2000; ++i) line += i == 1000 ? "word: " : "word ";
  std::string folded = FoldHeaderText(line);
  std::ptrdiff_t position = 1;
  std::size_t lines = 0;
  while (position > 0) {
    std::string piece = TakeNextLine(folded, position);
    ASSERT_LE(piece.size(), 72u + 2) << piece;  // 72 columns, CR LF
    ++lines;
  }
  EXPECT_GT(lines, 100u);
}

TEST(FoldHeaderText, FoldsAContinuationThatBeginsWithATabFromColumn36) {
  std::string line = Join({"\t", std::string(30, 'a'), " ", std::string(50, 'b')});
  EXPECT_EQ(FoldHeaderText(line), line + "\r\n");
  std::string later = Join({"\t", std::string(40, 'a'), " ", std::string(50, 'b')});
  EXPECT_EQ(FoldHeaderText(later),
            Join({"\t", std::string(40, 'a'), "\r\n ", std::string(50, 'b'), "\r\n"}));
}

// Unfolding (RFC 5322 2.2.3: removing every CR LF before a blank) gives the
// text that was folded, blanks and separators as they stood.
TEST(FoldHeaderText, UnfoldingGivesTheLineBack) {
  auto unfold = [](std::string text) {
    for (std::size_t at; (at = text.find("\r\n ")) != std::string::npos;) text.erase(at, 2);
    return text;
  };
  // Built by appending: GCC 12 warns wrongly (-Wrestrict) on chains of concatenation.
  std::string words, runs, separators, blanksFirst(70, ' ');
  for (int i = 0; i < 40; ++i)
    words.append("word").append(std::to_string(i)).append(i % 3 ? " " : "  ");
  for (int i = 0; i < 30; ++i)
    runs.append(std::size_t(i % 7 + 1), 'r').append(std::size_t(i % 4 + 1), ' ');
  for (int i = 0; i < 30; ++i)
    separators.append("item").append(std::to_string(i)).append(i % 2 ? "," : "; ");
  blanksFirst += "x y";
  for (const std::string& value : {words, runs, separators, blanksFirst}) {
    const std::string line = "Subject: " + value;
    const std::string folded = FoldHeaderText(line);
    EXPECT_EQ(unfold(folded), line + "\r\n") << value;
    EXPECT_EQ(folded.find("\r\n \r\n"), std::string::npos);  // no line of blanks alone
  }
}

}  // namespace
