// MD5 as RFC 1321 defines it, HMAC-MD5 as RFC 2104 defines it, and digests
// as lower-case hexadecimal text.
#include "mail/codec/Md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace MailVrex {
namespace {

constexpr std::size_t kBlock = 64;

inline std::uint32_t LoadLittleEndian(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) {
    v = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
  }
  return v;
}

inline void StoreLittleEndian(std::uint32_t v, unsigned char* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The four round functions; G and I in forms that shorten the dependency
// chain (G's two halves are disjoint, so "+" equals "|").
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return z ^ (x & (y ^ z));
}
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return (x & z) + (y & ~z);
}
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return x ^ y ^ z;
}
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return y ^ (x | ~z);
}

template <std::uint32_t (*Fn)(std::uint32_t, std::uint32_t, std::uint32_t)>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t x, int s, std::uint32_t t) {
  a = b + std::rotl(a + Fn(b, c, d) + x + t, s);
}

// Md5Block: one 64-byte block into the state.
void Md5Block(std::uint32_t state[4], const unsigned char* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(block + 4 * i);
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  // clang-format off
  Step<F>(a, b, c, d, x[0], 7, 0xd76aa478);    Step<F>(d, a, b, c, x[1], 12, 0xe8c7b756);
  Step<F>(c, d, a, b, x[2], 17, 0x242070db);   Step<F>(b, c, d, a, x[3], 22, 0xc1bdceee);
  Step<F>(a, b, c, d, x[4], 7, 0xf57c0faf);    Step<F>(d, a, b, c, x[5], 12, 0x4787c62a);
  Step<F>(c, d, a, b, x[6], 17, 0xa8304613);   Step<F>(b, c, d, a, x[7], 22, 0xfd469501);
  Step<F>(a, b, c, d, x[8], 7, 0x698098d8);    Step<F>(d, a, b, c, x[9], 12, 0x8b44f7af);
  Step<F>(c, d, a, b, x[10], 17, 0xffff5bb1);  Step<F>(b, c, d, a, x[11], 22, 0x895cd7be);
  Step<F>(a, b, c, d, x[12], 7, 0x6b901122);   Step<F>(d, a, b, c, x[13], 12, 0xfd987193);
  Step<F>(c, d, a, b, x[14], 17, 0xa679438e);  Step<F>(b, c, d, a, x[15], 22, 0x49b40821);

  Step<G>(a, b, c, d, x[1], 5, 0xf61e2562);    Step<G>(d, a, b, c, x[6], 9, 0xc040b340);
  Step<G>(c, d, a, b, x[11], 14, 0x265e5a51);  Step<G>(b, c, d, a, x[0], 20, 0xe9b6c7aa);
  Step<G>(a, b, c, d, x[5], 5, 0xd62f105d);    Step<G>(d, a, b, c, x[10], 9, 0x02441453);
  Step<G>(c, d, a, b, x[15], 14, 0xd8a1e681);  Step<G>(b, c, d, a, x[4], 20, 0xe7d3fbc8);
  Step<G>(a, b, c, d, x[9], 5, 0x21e1cde6);    Step<G>(d, a, b, c, x[14], 9, 0xc33707d6);
  Step<G>(c, d, a, b, x[3], 14, 0xf4d50d87);   Step<G>(b, c, d, a, x[8], 20, 0x455a14ed);
  Step<G>(a, b, c, d, x[13], 5, 0xa9e3e905);   Step<G>(d, a, b, c, x[2], 9, 0xfcefa3f8);
  Step<G>(c, d, a, b, x[7], 14, 0x676f02d9);   Step<G>(b, c, d, a, x[12], 20, 0x8d2a4c8a);

  Step<H>(a, b, c, d, x[5], 4, 0xfffa3942);    Step<H>(d, a, b, c, x[8], 11, 0x8771f681);
  Step<H>(c, d, a, b, x[11], 16, 0x6d9d6122);  Step<H>(b, c, d, a, x[14], 23, 0xfde5380c);
  Step<H>(a, b, c, d, x[1], 4, 0xa4beea44);    Step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
  Step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60);   Step<H>(b, c, d, a, x[10], 23, 0xbebfbc70);
  Step<H>(a, b, c, d, x[13], 4, 0x289b7ec6);   Step<H>(d, a, b, c, x[0], 11, 0xeaa127fa);
  Step<H>(c, d, a, b, x[3], 16, 0xd4ef3085);   Step<H>(b, c, d, a, x[6], 23, 0x04881d05);
  Step<H>(a, b, c, d, x[9], 4, 0xd9d4d039);    Step<H>(d, a, b, c, x[12], 11, 0xe6db99e5);
  Step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8);  Step<H>(b, c, d, a, x[2], 23, 0xc4ac5665);

  Step<I>(a, b, c, d, x[0], 6, 0xf4292244);    Step<I>(d, a, b, c, x[7], 10, 0x432aff97);
  Step<I>(c, d, a, b, x[14], 15, 0xab9423a7);  Step<I>(b, c, d, a, x[5], 21, 0xfc93a039);
  Step<I>(a, b, c, d, x[12], 6, 0x655b59c3);   Step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
  Step<I>(c, d, a, b, x[10], 15, 0xffeff47d);  Step<I>(b, c, d, a, x[1], 21, 0x85845dd1);
  Step<I>(a, b, c, d, x[8], 6, 0x6fa87e4f);    Step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
  Step<I>(c, d, a, b, x[6], 15, 0xa3014314);   Step<I>(b, c, d, a, x[13], 21, 0x4e0811a1);
  Step<I>(a, b, c, d, x[4], 6, 0xf7537e82);    Step<I>(d, a, b, c, x[11], 10, 0xbd3af235);
  Step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bb);   Step<I>(b, c, d, a, x[9], 21, 0xeb86d391);
  // clang-format on

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

std::size_t BufferedBytes(const Md5Context& context) {
  return (context.CountLow >> 3) % kBlock;
}

}  // namespace

void Md5Start(Md5Context& context) {
  context.State[0] = 0x67452301;
  context.State[1] = 0xefcdab89;
  context.State[2] = 0x98badcfe;
  context.State[3] = 0x10325476;
  context.CountLow = 0;
  context.CountHigh = 0;
  std::memset(context.Buffer, 0, sizeof context.Buffer);
}

void Md5Feed(Md5Context& context, std::string_view data) {
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t size = data.size();
  std::size_t buffered = BufferedBytes(context);

  std::uint64_t bits =
      (std::uint64_t{context.CountHigh} << 32 | context.CountLow) + std::uint64_t{size} * 8;
  context.CountLow = static_cast<std::uint32_t>(bits);
  context.CountHigh = static_cast<std::uint32_t>(bits >> 32);

  if (buffered != 0) {
    std::size_t take = std::min(size, kBlock - buffered);
    std::memcpy(context.Buffer + buffered, in, take);
    in += take;
    size -= take;
    if (buffered + take < kBlock) return;
    Md5Block(context.State, context.Buffer);
  }
  // Whole blocks straight from the input, without a copy.
  for (; size >= kBlock; in += kBlock, size -= kBlock) Md5Block(context.State, in);
  if (size != 0) std::memcpy(context.Buffer, in, size);
}

std::string Md5Finish(Md5Context& context) {
  unsigned char length[8];
  StoreLittleEndian(context.CountLow, length);
  StoreLittleEndian(context.CountHigh, length + 4);
  std::size_t buffered = BufferedBytes(context);
  static constexpr unsigned char kPadding[kBlock] = {0x80};
  std::size_t padding = buffered < 56 ? 56 - buffered : 120 - buffered;
  Md5Feed(context, std::string_view(reinterpret_cast<const char*>(kPadding), padding));
  Md5Feed(context, std::string_view(reinterpret_cast<const char*>(length), sizeof length));

  std::string digest(16, '\0');
  for (int i = 0; i < 4; ++i) {
    StoreLittleEndian(context.State[i], reinterpret_cast<unsigned char*>(digest.data()) + 4 * i);
  }
  std::memset(&context, 0, sizeof context);
  return digest;
}

std::string Md5OfString(std::string_view data) {
  Md5Context context;
  Md5Start(context);
  Md5Feed(context, data);
  return Md5Finish(context);
}

std::string HmacMd5OfString(std::string_view message, std::string_view key) {
  std::string hashedKey;
  if (key.size() > kBlock) {
    hashedKey = Md5OfString(key);
    key = hashedKey;
  }
  char innerPad[kBlock], outerPad[kBlock];
  std::memset(innerPad, 0x36, kBlock);
  std::memset(outerPad, 0x5C, kBlock);
  for (std::size_t i = 0; i < key.size(); ++i) {
    innerPad[i] = static_cast<char>(innerPad[i] ^ key[i]);
    outerPad[i] = static_cast<char>(outerPad[i] ^ key[i]);
  }
  Md5Context context;
  Md5Start(context);
  Md5Feed(context, std::string_view(innerPad, kBlock));
  Md5Feed(context, message);
  std::string inner = Md5Finish(context);

  Md5Start(context);
  Md5Feed(context, std::string_view(outerPad, kBlock));
  Md5Feed(context, inner);
  return Md5Finish(context);
}

std::string HexOfBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    hex[2 * i] = kDigits[b >> 4];
    hex[2 * i + 1] = kDigits[b & 15];
  }
  return hex;
}

}  // namespace MailVrex
