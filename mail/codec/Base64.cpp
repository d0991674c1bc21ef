// Base64 encoders and decoders: unbroken strings, single lines into a buffer,
// and whole bodies in 76-character lines.
#include "mail/codec/Base64.h"

#include "mail/codec/HeaderLines.h"
#include "mail/codec/TextUtil.h"

#include <array>
#include <cstdint>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define PELLAM_BASE64_SSSE3 1
#include <immintrin.h>
#endif

namespace MailVrex {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kPad = 64;  // "=" and, in the decoders, every foreign character

constexpr std::array<unsigned char, 256> MakeDecodeTable() {
  std::array<unsigned char, 256> table{};
  for (auto& value : table) value = kPad;
  for (unsigned i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}
constexpr auto kDecode = MakeDecodeTable();

// The value of a character already shifted to its place in a 24-bit group,
// one table per place; a foreign character or "=" sets the top bit instead,
// so that one test per group finds them.
constexpr std::uint32_t kForeign = 0x80000000u;
constexpr std::array<std::uint32_t, 256> MakeShiftedTable(int shift) {
  std::array<std::uint32_t, 256> table{};
  for (unsigned c = 0; c < 256; ++c) {
    const unsigned char v = kDecode[c];
    table[c] = v == kPad ? kForeign : std::uint32_t{v} << shift;
  }
  return table;
}
constexpr auto kShift18 = MakeShiftedTable(18);
constexpr auto kShift12 = MakeShiftedTable(12);
constexpr auto kShift6 = MakeShiftedTable(6);
constexpr auto kShift0 = MakeShiftedTable(0);

// Two output characters for every 12-bit value: one lookup per half group.
constexpr std::array<char, 8192> MakePairTable() {
  std::array<char, 8192> table{};
  for (unsigned v = 0; v < 4096; ++v) {
    table[2 * v] = kAlphabet[v >> 6];
    table[2 * v + 1] = kAlphabet[v & 63];
  }
  return table;
}
constexpr auto kPairs = MakePairTable();

// Two groups at a time: six source bytes read as one big-endian word give four
// 12-bit halves, whose character pairs go out as one 8-byte store. Reads eight
// bytes, so the caller keeps two more readable bytes after the six.
inline void EncodeTwoGroups(const unsigned char* in, char* out) {
  std::uint64_t w = 0;
  for (int i = 0; i < 8; ++i) w = (w << 8) | in[i];
  char chars[8];
  std::memcpy(chars, &kPairs[2 * ((w >> 52) & 0xFFF)], 2);
  std::memcpy(chars + 2, &kPairs[2 * ((w >> 40) & 0xFFF)], 2);
  std::memcpy(chars + 4, &kPairs[2 * ((w >> 28) & 0xFFF)], 2);
  std::memcpy(chars + 6, &kPairs[2 * ((w >> 16) & 0xFFF)], 2);
  std::memcpy(out, chars, 8);
}

constexpr std::size_t kLineBytes = 57;  // 19 groups, 76 characters

inline void EncodeGroup(const unsigned char* in, char* out) {
  std::uint32_t v = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
  std::memcpy(out, &kPairs[2 * (v >> 12)], 2);
  std::memcpy(out + 2, &kPairs[2 * (v & 0xFFF)], 2);
}

// Encodes whole groups; returns the end of the output.
inline char* EncodeGroups(const unsigned char* in, std::size_t groups, char* out) {
  for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4) EncodeGroup(in, out);
  return out;
}

// A final group of one or two bytes, padded with "=".
inline char* EncodeTail(const unsigned char* in, std::size_t count, char* out) {
  if (count == 0) return out;
  unsigned b1 = in[0];
  unsigned b2 = count == 2 ? in[1] : 0;
  out[0] = kAlphabet[b1 >> 2];
  out[1] = kAlphabet[((b1 & 3) << 4) | (b2 >> 4)];
  out[2] = count == 2 ? kAlphabet[(b2 & 15) << 2] : '=';
  out[3] = '=';
  return out + 4;
}

const unsigned char* Bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

}  // namespace

std::string TextToBase64(std::string_view data) {
  std::string encoded((data.size() + 2) / 3 * 4, '\0');
  char* out = EncodeGroups(Bytes(data), data.size() / 3, encoded.data());
  EncodeTail(Bytes(data) + data.size() / 3 * 3, data.size() % 3, out);
  return encoded;
}

std::string Base64ToText(std::string_view encoded) {
  std::string text;
  text.reserve(encoded.size() / 4 * 3 + 3);
  auto valueAt = [&](std::size_t i) {
    return i < encoded.size() ? kDecode[static_cast<unsigned char>(encoded[i])] : kPad;
  };
  // A group is decoded while at least two of its characters exist, so a lone
  // character after the last full group is ignored.
  for (std::size_t i = 0; i + 1 < encoded.size(); i += 4) {
    unsigned s1 = valueAt(i), s2 = valueAt(i + 1), s3 = valueAt(i + 2), s4 = valueAt(i + 3);
    text += static_cast<char>(((s1 & 63) << 2) + ((s2 & 48) >> 4));
    if (s3 == kPad) continue;
    text += static_cast<char>(((s2 & 15) << 4) + ((s3 & 60) >> 2));
    if (s4 == kPad) continue;
    text += static_cast<char>(((s3 & 3) << 6) + (s4 & 63));
  }
  return text;
}

namespace {

// Decodes whole groups one by one: the portable path, and the path of every
// group that holds "=" or a foreign character.
unsigned char* DecodeGroups(const unsigned char* in, const unsigned char* end, unsigned char* out) {
  // Every group writes its three bytes and then advances by the count it
  // carries: a group never writes past 3 x (its index + 1), which the
  // caller's buffer holds.
  for (; in != end; in += 4) {
    const std::uint32_t group = kShift18[in[0]] | kShift12[in[1]] | kShift6[in[2]] | kShift0[in[3]];
    if ((group & kForeign) == 0) {
      out[0] = static_cast<unsigned char>(group >> 16);
      out[1] = static_cast<unsigned char>(group >> 8);
      out[2] = static_cast<unsigned char>(group);
      out += 3;
      continue;
    }
    // The first pad decides: a group with fewer than two data characters
    // carries no byte, "xx==" one byte, "xxx=" two.
    unsigned s1 = kDecode[in[0]], s2 = kDecode[in[1]], s3 = kDecode[in[2]], s4 = kDecode[in[3]];
    if (s1 == kPad || s2 == kPad) continue;
    std::size_t count = 2;
    s4 = 0;
    if (s3 == kPad) {
      count = 1;
      s3 = 0;
    }
    const std::uint32_t v = (s1 << 18) | (s2 << 12) | (s3 << 6) | s4;
    out[0] = static_cast<unsigned char>(v >> 16);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v);
    out += count;
  }
  return out;
}

#ifdef PELLAM_BASE64_SSSE3
// The twelve bytes of sixteen characters in the low lanes, or false where a
// character is not of the alphabet: the two nibble tables flag every
// character outside it, the roll table turns each character into its value
// by the offset of its range, and two multiply-adds pack the values.
__attribute__((target("ssse3"))) inline bool DecodeSixteen(const unsigned char* from,
                                                           __m128i& bytes) {
  const __m128i lowFlags = _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                         0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m128i highFlags = _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10,
                                          0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  const __m128i roll = _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  const __m128i high = _mm_and_si128(_mm_srli_epi32(chars, 4), nibble);
  const __m128i low = _mm_and_si128(chars, nibble);
  const __m128i flags =
      _mm_and_si128(_mm_shuffle_epi8(lowFlags, low), _mm_shuffle_epi8(highFlags, high));
  if (_mm_movemask_epi8(_mm_cmpgt_epi8(flags, _mm_setzero_si128())) != 0) return false;
  const __m128i shift =
      _mm_shuffle_epi8(roll, _mm_add_epi8(_mm_cmpeq_epi8(chars, _mm_set1_epi8('/')), high));
  const __m128i merged =
      _mm_madd_epi16(_mm_maddubs_epi16(_mm_add_epi8(chars, shift), _mm_set1_epi32(0x01400140)),
                     _mm_set1_epi32(0x00011000));
  bytes = _mm_shuffle_epi8(merged,
                           _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
  return true;
}

// Sixteen characters at a time from in, which it advances; a block that holds
// "=" or a foreign character goes through the group decoder, which gives it
// its meaning. begin is where the text starts, for the overlapping last block.
__attribute__((target("ssse3"))) unsigned char* DecodeBlocksSsse3(const unsigned char* begin,
                                                                  const unsigned char*& in,
                                                                  const unsigned char* end,
                                                                  unsigned char* out) {
  __m128i bytes;
  // The sixteen-byte store writes four bytes past the block's twelve, so it
  // goes straight to the caller's buffer only where eight more characters
  // follow (six more bytes of that buffer).
  for (; end - in >= 24; in += 16) {
    if (DecodeSixteen(in, bytes)) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
      out += 12;
    } else {
      out = DecodeGroups(in, in + 16, out);
    }
  }
  // The last characters go through a local block: whole blocks, then one
  // that ends at the end and overlaps what went before, of which only the
  // bytes of the new characters are kept.
  alignas(16) unsigned char local[16];
  for (; end - in >= 16; in += 16) {
    if (DecodeSixteen(in, bytes)) {
      _mm_store_si128(reinterpret_cast<__m128i*>(local), bytes);
      std::memcpy(out, local, 12);
      out += 12;
    } else {
      out = DecodeGroups(in, in + 16, out);
    }
  }
  if (in != end && end - begin >= 16 && DecodeSixteen(end - 16, bytes)) {
    _mm_store_si128(reinterpret_cast<__m128i*>(local), bytes);
    const auto fresh = static_cast<std::size_t>(end - in) / 4 * 3;
    std::memcpy(out, local + 12 - fresh, fresh);
    out += fresh;
    in = end;
  }
  return out;
}

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

}  // namespace

std::size_t Base64ToBuffer(std::string_view encoded, unsigned char* buffer) {
  const unsigned char* in = Bytes(encoded);
  const unsigned char* end = in + encoded.size() / 4 * 4;
  unsigned char* out = buffer;
#ifdef PELLAM_BASE64_SSSE3
  if (HasSsse3()) out = DecodeBlocksSsse3(in, in, end, out);
#endif
  out = DecodeGroups(in, end, out);
  return static_cast<std::size_t>(out - buffer);
}

void AppendBase64Lines(std::string_view body, std::string& out) {
  // The result gets room for the most the body can give (no line gives more
  // than three bytes per four characters) and is trimmed at the end.
  const std::size_t start = out.size();
  out.resize(start + body.size() / 4 * 3);
  auto* const buffer = reinterpret_cast<unsigned char*>(out.data()) + start;
  std::size_t size = 0;
  // Bodies keep one line length. A line of that length followed by CR LF is
  // decoded as it stands: when all its groups give three bytes it held only
  // characters of the alphabet, so it had no earlier line end and no blank
  // to trim. Any other line, or a guess that fails, takes the general way,
  // writing over what the guess wrote.
  std::size_t usual = 0;
  std::size_t at = 0;
  const std::size_t n = body.size();
  while (at < n) {
    if (usual != 0 && n - at >= usual + 2 && body[at + usual] == '\r' &&
        body[at + usual + 1] == '\n') {
      const std::size_t count = Base64ToBuffer(body.substr(at, usual), buffer + size);
      if (count == usual / 4 * 3) {
        size += count;
        at += usual + 2;
        continue;
      }
    }
    auto position = static_cast<std::ptrdiff_t>(at + 1);
    const std::string_view line = NextLineView(body, position);
    size += Base64ToBuffer(TrimBlanksView(line), buffer + size);
    if (usual == 0 && line.size() >= 6 && line.ends_with("\r\n") && (line.size() - 2) % 4 == 0)
      usual = line.size() - 2;
    if (position < 0) break;
    at = static_cast<std::size_t>(position - 1);
  }
  out.resize(start + size);
}

std::size_t StreamToBase64Lines(std::string& dest, std::string_view source) {
  std::size_t fullLines = source.size() / kLineBytes;
  std::size_t rest = source.size() % kLineBytes;
  std::size_t size = fullLines * 78 + (rest == 0 ? 0 : (rest + 2) / 3 * 4 + 2);
  dest.assign(size, '\0');
  const unsigned char* in = Bytes(source);
  char* out = dest.data();
  for (std::size_t line = 0; line < fullLines; ++line, in += kLineBytes) {
    // Nine pairs of groups read at most byte 55 of the line's 57; the last
    // group goes alone.
    for (int pair = 0; pair < 9; ++pair) EncodeTwoGroups(in + 6 * pair, out + 8 * pair);
    EncodeGroup(in + 54, out + 72);
    out[76] = '\r';
    out[77] = '\n';
    out += 78;
  }
  if (rest != 0) {
    out = EncodeGroups(in, rest / 3, out);
    out = EncodeTail(in + rest / 3 * 3, rest % 3, out);
    *out++ = '\r';
    *out++ = '\n';
  }
  return dest.size();
}

}  // namespace MailVrex
