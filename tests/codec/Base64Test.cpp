// Base64 in its three forms: published vectors, the documented edge cases,
// bad input, and round trips of random data through the body line loop.
#include <gtest/gtest.h>

#include <vector>

#include "mail/codec/Base64.h"
#include "tests/codec/Base64LineLoop.h"
#include "tests/codec/CodecTestData.h"

using namespace MailVrex;

namespace {

struct Vector {
  const char* plain;
  const char* encoded;
};

// RFC 4648, section 10.
const Vector kRfc4648[] = {{"", ""},
                           {"f", "Zg=="},
                           {"fo", "Zm8="},
                           {"foo", "Zm9v"},
                           {"foob", "Zm9vYg=="},
                           {"fooba", "Zm9vYmE="},
                           {"foobar", "Zm9vYmFy"}};

std::string DecodeWithBuffer(std::string_view encoded) {
  std::vector<unsigned char> buffer(encoded.size() / 4 * 3 + 1);
  std::size_t count = Base64ToBuffer(encoded, buffer.data());
  return std::string(reinterpret_cast<const char*>(buffer.data()), count);
}

TEST(Base64, EncodesAndDecodesTheRfc4648Vectors) {
  for (const auto& v : kRfc4648) {
    EXPECT_EQ(TextToBase64(v.plain), v.encoded);
    EXPECT_EQ(Base64ToText(v.encoded), v.plain);
    EXPECT_EQ(DecodeWithBuffer(v.encoded), v.plain);
  }
}

TEST(TextToBase64, PadsShortFinalGroups) {
  EXPECT_EQ(TextToBase64("abc"), "YWJj");
  EXPECT_EQ(TextToBase64("A"), "QQ==");
  EXPECT_EQ(TextToBase64(codec_test::Bytes({0, 0xFF, 0xFE})), "AP/+");
}

TEST(Base64ToText, DecodesAGroupWithoutPadCharacters) {
  EXPECT_EQ(Base64ToText("QQ"), "A");
}

TEST(Base64ToText, IgnoresALoneCharacterAfterTheLastGroup) {
  EXPECT_EQ(Base64ToText("YWJjZ"), "abc");
  EXPECT_EQ(Base64ToText("Y"), "");
}

TEST(Base64ToText, TreatsForeignCharactersAsThePad) {
  // A space ends its group just as "=" would; nothing is skipped.
  EXPECT_EQ(Base64ToText("QQ  QUJD"), "AABC");
  EXPECT_EQ(Base64ToText("YWJj\r\n"), std::string("abc\0", 4));
}

TEST(Base64ToBuffer, IgnoresCharactersAfterTheLastFullGroup) {
  EXPECT_EQ(DecodeWithBuffer("YWJj\r\n"), "abc");
  EXPECT_EQ(DecodeWithBuffer("YWJjZA"), "abc");
}

TEST(Base64ToBuffer, TheFirstPadOfAGroupDecidesItsCount) {
  const Vector cases[] = {
      {"f", "Zg=="},    // "xx==" gives one byte
      {"fo", "Zm8="},   // "xxx=" gives two
      {"", "===="},     // a group of pads gives none
      {"", "Z==="},     // one data character carries no whole byte
      {"f", "Zg=A"},    // data after the pad is ignored
      {"f", "Zg\r\n"},  // foreign characters count as the pad
      {"fo", "Zm8\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeWithBuffer(c.encoded), c.plain) << c.encoded;
}

TEST(Base64ToBuffer, NeverWritesPastThreeBytesPerGroup) {
  std::string encoded = codec_test::RandomBytes(403, 11);  // mostly foreign characters
  std::vector<unsigned char> buffer(403 / 4 * 3 + 16, 0xA5);
  std::size_t count = Base64ToBuffer(encoded, buffer.data());
  EXPECT_LE(count, 403u / 4 * 3);
  for (std::size_t i = 403 / 4 * 3; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xA5);
}

TEST(StreamToBase64Lines, WritesFiftySevenBytesAsOneLine) {
  std::string dest = "old content";
  std::string source(57, 'x');
  EXPECT_EQ(StreamToBase64Lines(dest, source), 78u);
  EXPECT_EQ(dest, TextToBase64(source) + "\r\n");
}

TEST(StreamToBase64Lines, PutsTheFinalGroupOnALastShortLine) {
  std::string dest;
  std::string source(58, 'x');
  EXPECT_EQ(StreamToBase64Lines(dest, source), 78u + 6u);
  EXPECT_EQ(dest.substr(78), "eA==\r\n");
}

TEST(StreamToBase64Lines, GivesNothingForAnEmptySource) {
  std::string dest = "old content";
  EXPECT_EQ(StreamToBase64Lines(dest, ""), 0u);
  EXPECT_TRUE(dest.empty());
}

TEST(StreamToBase64Lines, EndsEveryLineAfterSeventySixCharacters) {
  std::string dest;
  StreamToBase64Lines(dest, codec_test::RandomBytes(2280 * 3 + 100, 3));
  std::ptrdiff_t position = 1;
  std::vector<std::string> lines;
  while (position > 0) lines.push_back(TakeNextLine(dest, position));
  ASSERT_EQ(lines.size(), 2280u * 3 / 57 + 2);
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    ASSERT_EQ(lines[i].size(), 78u) << "line " << i;
    ASSERT_EQ(lines[i].substr(76), "\r\n");
  }
  EXPECT_EQ(lines.back(),
            TextToBase64(codec_test::RandomBytes(2280 * 3 + 100, 3).substr(6897)) + "\r\n");
}

TEST(Base64LineLoop, RoundTripsRandomDataOfManyLengths) {
  for (std::size_t size = 0; size < 700; ++size) {
    std::string data = codec_test::RandomBytes(size, static_cast<std::uint32_t>(size));
    std::string body;
    StreamToBase64Lines(body, data);
    ASSERT_EQ(codec_test::DecodeBase64Lines(body), data) << "size " << size;
  }
  for (std::size_t size : {2279u, 2280u, 2281u, 100000u, 1u << 20}) {
    std::string data = codec_test::RandomBytes(size, 99);
    std::string body;
    StreamToBase64Lines(body, data);
    ASSERT_EQ(codec_test::DecodeBase64Lines(body), data) << "size " << size;
  }
}

// Bodies keep one line length, and the decoder decodes such lines as they stand; every
// line that breaks the pattern must still decode as the plain loop decodes it.
TEST(Base64LineLoop, LinesThatBreakTheUsualLengthDecodeAsThePlainLoopDoes) {
  std::string data = codec_test::RandomBytes(57 * 6, 5);
  std::string body;
  StreamToBase64Lines(body, data);
  const std::string line = body.substr(0, 78);
  const std::vector<std::string> odd = {
      line.substr(0, 40) + "=" + line.substr(41),     // a pad inside a full-length line
      line.substr(0, 40) + "\r\n" + line.substr(42),  // an earlier line end
      line.substr(0, 40) + "\n" + line.substr(41),    // a bare LF (no line end)
      "  " + line.substr(2),                          // blanks to trim
      line.substr(0, 75) + " \r\n",                   // a blank before the line end
      line.substr(0, 76) + "\r",                      // a CR alone at the end
      "QUJD\r\n",                                     // a short line
      line.substr(0, 76) + "QUJD\r\n",                // a longer line
      std::string("\0\0\0\0", 4) + line.substr(4),    // NUL bytes
  };
  for (std::size_t i = 0; i < odd.size(); ++i) {
    for (const std::string& text : {odd[i] + body, body + odd[i], body + odd[i] + body}) {
      ASSERT_EQ(codec_test::DecodeBase64Lines(text), codec_test::DecodeBase64LinesOneByOne(text))
          << "case " << i;
    }
  }
  EXPECT_EQ(codec_test::DecodeBase64Lines(body + body), data + data);
  std::string out = "kept";
  AppendBase64Lines(body, out);
  EXPECT_EQ(out, "kept" + data);
}

// Long inputs go in blocks of sixteen characters; whatever a block holds, decoding it
// must equal decoding its groups of four one by one.
TEST(Base64, LongInputDecodesAsItsGroupsOneByOne) {
  std::string data = codec_test::RandomBytes(75, 11);
  const std::string clean = TextToBase64(data);  // 100 characters
  auto groupByGroup = [](std::string_view text) {
    std::string out;
    unsigned char group[3];
    for (std::size_t i = 0; i + 4 <= text.size(); i += 4)
      out.append(reinterpret_cast<char*>(group), Base64ToBuffer(text.substr(i, 4), group));
    return out;
  };
  auto whole = [](std::string_view text) {
    std::vector<unsigned char> buffer(text.size() / 4 * 3);
    return std::string(reinterpret_cast<char*>(buffer.data()), Base64ToBuffer(text, buffer.data()));
  };
  for (std::size_t length : {16u, 20u, 24u, 28u, 44u, 76u, 100u}) {
    const std::string text = clean.substr(0, length);
    ASSERT_EQ(whole(text), data.substr(0, length / 4 * 3));
    for (std::size_t at = 0; at < length; ++at) {
      for (char odd : {'=', '\0', '\r', '-', '\x80', ' '}) {
        std::string changed = text;
        changed[at] = odd;
        ASSERT_EQ(whole(changed), groupByGroup(changed))
            << "length " << length << " at " << at << " char " << int(odd);
      }
    }
  }
}

TEST(Base64, StringFormsRoundTripRandomData) {
  for (std::size_t size = 0; size < 300; ++size) {
    std::string data = codec_test::RandomBytes(size, static_cast<std::uint32_t>(size) + 1000);
    std::string encoded = TextToBase64(data);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
    ASSERT_EQ(Base64ToText(encoded), data) << "size " << size;
    ASSERT_EQ(DecodeWithBuffer(encoded), data) << "size " << size;
  }
}

}  // namespace
