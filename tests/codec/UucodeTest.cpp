// The uuencode line decoder: symbol values, full and short lines, and lines
// that no buffer could hold.
#include <gtest/gtest.h>

#include <vector>

#include "mail/codec/MailError.h"
#include "mail/codec/Uucode.h"

using namespace MailVrex;

namespace {

// "Cat" uuencoded.
constexpr char kCatLine[] = "#0V%T";

void ExpectFormatError(std::string_view line) {
  unsigned char buffer[45];
  try {
    UuLineToBuffer(line, buffer);
    ADD_FAILURE() << "no error for " << line;
  } catch (const MailError& error) {
    EXPECT_STREQ(error.what(), "UUCODE message format error");
  }
}

TEST(UuValueOfChar, MapsTheUuencodeSet) {
  EXPECT_EQ(UuValueOfChar(' '), 0);
  EXPECT_EQ(UuValueOfChar('`'), 0);
  EXPECT_EQ(UuValueOfChar('!'), 1);
  EXPECT_EQ(UuValueOfChar('M'), 45);
  EXPECT_EQ(UuValueOfChar('_'), 63);
  for (char ch : {'a', '\r', '\n', '\x1F', '\x7F', '\0', '\xE9'}) {
    EXPECT_THROW(UuValueOfChar(ch), MailError) << static_cast<int>(ch);
  }
}

TEST(UuLineToBuffer, DecodesAShortLine) {
  unsigned char buffer[45];
  ASSERT_EQ(UuLineToBuffer(kCatLine, buffer), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "Cat");
}

TEST(UuLineToBuffer, GivesZeroForAnEmptyLine) {
  unsigned char buffer[45] = {7};
  EXPECT_EQ(UuLineToBuffer("", buffer), 0u);
  EXPECT_EQ(buffer[0], 7);
}

TEST(UuLineToBuffer, DecodesAFullLineAndIgnoresItsLineEnd) {
  // 45 bytes of 0xFF are 60 symbols of value 63.
  std::string line = "M" + std::string(60, '_') + "\r\n";
  unsigned char buffer[45] = {};
  ASSERT_EQ(UuLineToBuffer(line, buffer), 45u);
  for (unsigned char b : buffer) EXPECT_EQ(b, 0xFF);
}

TEST(UuLineToBuffer, RejectsAShortLineThatKeepsItsLineEnd) {
  ExpectFormatError(std::string(kCatLine) + "\r\n");
  ExpectFormatError("#0V%t");
}

TEST(UuLineToBuffer, AlwaysFillsFortyFiveBytesAndNoMore) {
  std::vector<unsigned char> buffer(60, 0xA5);
  UuLineToBuffer(kCatLine, buffer.data());
  for (std::size_t i = 3; i < 45; ++i) EXPECT_EQ(buffer[i], 0) << i;
  for (std::size_t i = 45; i < 60; ++i) EXPECT_EQ(buffer[i], 0xA5) << i;
}

TEST(UuLineToBuffer, BoundsACountAboveFortyFive) {
  std::vector<unsigned char> buffer(80, 0xA5);
  // "_" claims 63 bytes; one line can only carry 45.
  EXPECT_EQ(UuLineToBuffer("_" + std::string(84, '!'), buffer.data()), 45u);
  for (std::size_t i = 45; i < 80; ++i) EXPECT_EQ(buffer[i], 0xA5) << i;
}

TEST(UuLineToBuffer, TakesAtMostSixtySymbols) {
  unsigned char buffer[45];
  // Symbols past the sixtieth are never looked at, not even invalid ones.
  EXPECT_EQ(UuLineToBuffer("!" + std::string(60, '!') + "abc", buffer), 1u);
}

}  // namespace
