// Base64 encoders and decoders: unbroken strings, single lines into a buffer,
// and whole bodies in 76-character lines.
#include "mail/codec/Base64.h"

#include <array>
#include <cstdint>
#include <cstring>

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

std::size_t Base64ToBuffer(std::string_view encoded, unsigned char* buffer) {
  const unsigned char* in = Bytes(encoded);
  const unsigned char* end = in + encoded.size() / 4 * 4;
  unsigned char* out = buffer;
  for (; in != end; in += 4) {
    unsigned s1 = kDecode[in[0]], s2 = kDecode[in[1]], s3 = kDecode[in[2]], s4 = kDecode[in[3]];
    std::size_t count = 3;
    if (((s1 | s2 | s3 | s4) & kPad) != 0) {
      // The first pad decides: a group with fewer than two data characters
      // carries no byte, "xx==" one byte, "xxx=" two.
      if (s1 == kPad || s2 == kPad) continue;
      if (s3 == kPad) {
        count = 1;
        s3 = 0;
        s4 = 0;
      } else {
        count = 2;
        s4 = 0;
      }
    }
    unsigned char bytes[3] = {static_cast<unsigned char>((s1 << 2) | (s2 >> 4)),
                              static_cast<unsigned char>(((s2 & 15) << 4) | (s3 >> 2)),
                              static_cast<unsigned char>(((s3 & 3) << 6) | s4)};
    std::memcpy(out, bytes, count);
    out += count;
  }
  return static_cast<std::size_t>(out - buffer);
}

std::size_t StreamToBase64Lines(std::string& dest, std::string_view source) {
  std::size_t fullLines = source.size() / kLineBytes;
  std::size_t rest = source.size() % kLineBytes;
  std::size_t size = fullLines * 78 + (rest == 0 ? 0 : (rest + 2) / 3 * 4 + 2);
  dest.assign(size, '\0');
  const unsigned char* in = Bytes(source);
  char* out = dest.data();
  for (std::size_t line = 0; line < fullLines; ++line, in += kLineBytes) {
    out = EncodeGroups(in, kLineBytes / 3, out);
    *out++ = '\r';
    *out++ = '\n';
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
