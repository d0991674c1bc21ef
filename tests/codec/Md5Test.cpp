// MD5, HMAC-MD5 and the CRAM-MD5 answer against their published vectors.
#include <gtest/gtest.h>

#include "mail/codec/Base64.h"
#include "mail/codec/Md5.h"
#include "tests/codec/CodecTestData.h"

using namespace MailVrex;

namespace {

struct DigestCase {
  std::string input;
  const char* hex;
};

TEST(Md5OfString, GivesTheSevenRfc1321Digests) {
  const DigestCase cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    std::string digest = Md5OfString(c.input);
    EXPECT_EQ(digest.size(), 16u);
    EXPECT_EQ(HexOfBytes(digest), c.hex) << c.input;
  }
}

TEST(Md5OfString, FeedsNulBytes) {
  EXPECT_EQ(HexOfBytes(Md5OfString(std::string(1, '\0'))), "93b885adfe0da089cdf634904fd59f71");
}

TEST(Md5Feed, PiecesGiveTheSameDigestAsOneFeed) {
  std::string data = codec_test::RandomBytes(1000, 7);
  std::string whole = Md5OfString(data);
  for (std::size_t cut : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 100u, 999u}) {
    Md5Context context;
    Md5Start(context);
    Md5Feed(context, std::string_view(data).substr(0, cut));
    Md5Feed(context, std::string_view(data).substr(cut));
    EXPECT_EQ(Md5Finish(context), whole) << "cut at " << cut;
  }
}

TEST(Md5Finish, PadsAcrossABlockBoundary) {
  // 56 to 63 buffered bytes need an extra block for the length.
  EXPECT_EQ(HexOfBytes(Md5OfString(std::string(56, 'a'))), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(HexOfBytes(Md5OfString(std::string(64, 'a'))), "014842d480b571495a4a0363793f7367");
}

TEST(Md5Finish, LeavesTheContextZeroed) {
  Md5Context context;
  Md5Start(context);
  Md5Feed(context, "abc");
  Md5Finish(context);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

struct HmacCase {
  std::string key;
  std::string message;
  const char* hex;
};

TEST(HmacMd5OfString, GivesThePublishedVectors) {
  const HmacCase cases[] = {
      // RFC 2104
      {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
      {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
      {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
      // RFC 2202: 80-byte keys, hashed first
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {std::string(80, '\xaa'),
       "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
       "6f630fad67cda0ee1fb1f562db3aa53e"},
      // Keys of exactly 64 bytes, used unchanged (digests from Python's hmac module)
      {std::string(64, '\xaa'), "what do ya want for nothing?", "663b18c9e489b2bd6fe79b325cd8ac61"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HexOfBytes(HmacMd5OfString(c.message, c.key)), c.hex) << c.message;
  }
}

TEST(HmacMd5OfString, UsesASixtyFourByteKeyUnchanged) {
  std::string key;
  for (int i = 0; i < 64; ++i) key += static_cast<char>(i);
  EXPECT_EQ(HexOfBytes(HmacMd5OfString("Sixty-four byte key, used unchanged", key)),
            "d6d871e85bdf8cdc0e514d57a84420d7");
}

TEST(CramMd5Answer, MatchesTheRfc2195Example) {
  std::string reply = "334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n";
  std::string challenge = Base64ToText(reply.substr(4, reply.size() - 6));
  EXPECT_EQ(challenge, "<1896.697170952@postoffice.reston.mci.net>");
  std::string digest = HmacMd5OfString(challenge, "tanstaaftanstaaf");
  EXPECT_EQ(HexOfBytes(digest), "b913a602c7eda7a495b4e6e7334d3890");
  EXPECT_EQ(TextToBase64("tim " + HexOfBytes(digest)),
            "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(HexOfBytes, WritesTwoLowerCaseDigitsPerByte) {
  EXPECT_EQ(HexOfBytes(codec_test::Bytes({0x1A, 0x00, 0xFF, 0x09})), "1a00ff09");
  EXPECT_EQ(HexOfBytes(""), "");
}

}  // namespace
