// Quoted-printable encoder (body and header modes) and decoder.
#include "mail/codec/QuotedPrintable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace MailVrex {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr int kSoftBreakColumn = 72;

// Each byte's encoded form packed for one unaligned store: up to three
// characters in the low bytes (memory order on little-endian machines) and
// their count in the top byte.
constexpr std::array<std::uint32_t, 256> MakeEncodeTable(bool headerMode) {
  std::array<std::uint32_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    const bool escape = b >= 128 || b == '=' || (headerMode && (b <= 0x20 || b == '"' || b == '_'));
    if (escape) {
      table[b] = '=' | static_cast<std::uint32_t>(kHex[b >> 4]) << 8 |
                 static_cast<std::uint32_t>(kHex[b & 15]) << 16 | 3u << 24;
    } else {
      table[b] = b | 1u << 24;
    }
  }
  return table;
}
constexpr auto kBodyCode = MakeEncodeTable(false);
constexpr auto kHeaderCode = MakeEncodeTable(true);

// -1 for anything but the upper-case hexadecimal digits.
constexpr std::array<signed char, 256> MakeHexTable() {
  std::array<signed char, 256> table{};
  for (auto& value : table) value = -1;
  for (int i = 0; i < 16; ++i)
    table[static_cast<unsigned char>(kHex[i])] = static_cast<signed char>(i);
  return table;
}
constexpr auto kHexValue = MakeHexTable();

inline void Store4(char* out, std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  std::memcpy(out, &value, 4);
}

// Escapes are frequent in binary-ish text, so the byte loop has no
// data-dependent branch: every byte stores four bytes and advances by its
// length. A byte adds at most three columns, so well short of the soft break
// eight bytes go together without looking at the column, in one copy when
// none needs escaping; only the last bytes of a line are taken one by one.
// Positions are offsets from out, and a line may have begun before it (in an
// earlier block).
template <bool kHeaderMode>
void EncodeBlock(const unsigned char* in, std::size_t count, char*& out, int& column) {
  const auto& code = kHeaderMode ? kHeaderCode : kBodyCode;
  char* const base = out;
  std::ptrdiff_t pos = 0;
  if constexpr (kHeaderMode) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t e = code[in[i]];
      Store4(base + pos, e);
      pos += e >> 24;
    }
    out = base + pos;
    return;
  }
  constexpr std::uint32_t kSoftBreak = '=' | '\r' << 8 | '\n' << 16;
  std::ptrdiff_t lineStart = -column;
  std::size_t i = 0;
  while (i < count) {
    const std::ptrdiff_t used = pos - lineStart;
    if (used <= kSoftBreakColumn - 1 - 24 && count - i >= 8) {
      // Eight bytes give at most 24 characters: no soft break falls among them.
      for (const std::size_t stop = i + 8; i < stop; ++i) {
        const unsigned b = in[i];
        const std::uint32_t e = code[b];
        Store4(base + pos, e);
        pos += e >> 24;
        // A carriage return starts a new line: the column restarts after it.
        lineStart = b == '\r' ? pos : lineStart;
      }
      continue;
    }
    // Near the soft break, byte by byte.
    const unsigned b = in[i++];
    const std::uint32_t e = code[b];
    Store4(base + pos, e);
    pos += e >> 24;
    if (b == '\r') {
      lineStart = pos;
    } else if (pos - lineStart >= kSoftBreakColumn) {
      Store4(base + pos, kSoftBreak);
      pos += 3;
      lineStart = pos;
    }
  }
  out = base + pos;
  column = static_cast<int>(pos - lineStart);
}

}  // namespace

std::string TextToQP(std::string_view data, bool headerMode) {
  // The input goes in blocks; before each block the result gets room for its
  // worst case (every byte escaped, a soft break after every 24 bytes, the
  // spare byte of the last four-byte store) and is written through a plain
  // pointer. The room left over stays for the next block, so each byte of the
  // result is cleared about once; the result is trimmed at the end.
  constexpr std::size_t kBlock = 4096;
  constexpr std::size_t kWorst = 3 * kBlock + 3 * (kBlock / 24 + 1) + 4;
  std::string encoded;
  encoded.reserve(data.size() + data.size() / 4 + kWorst);
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();
  std::size_t used = 0;
  int column = 0;
  for (std::size_t begin = 0; begin < n; begin += kBlock) {
    const std::size_t count = std::min(n - begin, kBlock);
    if (encoded.size() < used + kWorst) encoded.resize(used + kWorst);
    char* const start = encoded.data() + used;
    char* out = start;
    if (headerMode)
      EncodeBlock<true>(in + begin, count, out, column);
    else
      EncodeBlock<false>(in + begin, count, out, column);
    used += static_cast<std::size_t>(out - start);
  }
  encoded.resize(used);
  return encoded;
}

namespace {

// Index of the first "=" among eight bytes, or 8: the lowest flagged byte of
// the zero-byte test is exact, higher ones may be false.
inline unsigned FirstEquals(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  const std::uint64_t x = word ^ (kOnes * '=');
  const std::uint64_t found = (x - kOnes) & ~x & (kOnes * 0x80);
  if (found == 0) return 8;
  return static_cast<unsigned>(std::countr_zero(found)) / 8;
}

}  // namespace

std::string QPToText(std::string_view encoded) {
  // The text never grows in decoding: write into the sized string, trim after.
  // Plain runs go eight bytes at a time; a copy may run past the "=" that ends
  // it, since the output never overtakes the input.
  std::string text(encoded.size(), '\0');
  char* out = text.data();
  const char* in = encoded.data();
  std::size_t i = 0;
  const std::size_t n = encoded.size();
  while (i < n) {
    if constexpr (std::endian::native == std::endian::little) {
      while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, in + i, 8);
        std::memcpy(out, &word, 8);
        const unsigned plain = FirstEquals(word);
        i += plain;
        out += plain;
        if (plain < 8) break;
      }
      if (i == n) break;
    }
    if (in[i] != '=') {
      const void* found = std::memchr(in + i, '=', n - i);
      std::size_t eq = found ? static_cast<std::size_t>(static_cast<const char*>(found) - in) : n;
      std::memcpy(out, in + i, eq - i);
      out += eq - i;
      i = eq;
      if (eq == n) break;
    }
    const std::size_t after = n - i - 1;
    if (after == 0) break;  // a final "=" is dropped
    if (after == 1) {       // "=" and one character at the very end stay
      *out++ = in[i];
      *out++ = in[i + 1];
      break;
    }
    const char c1 = in[i + 1], c2 = in[i + 2];
    const int high = kHexValue[static_cast<unsigned char>(c1)];
    const int low = kHexValue[static_cast<unsigned char>(c2)];
    if (high >= 0 && low >= 0) {
      *out++ = static_cast<char>(high * 16 + low);
      i += 3;
    } else if ((c1 == '\r' && c2 == '\n') || (c1 == '\n' && c2 == '\r')) {
      i += 3;
    } else if (c1 == '\r' || c1 == '\n') {
      i += 2;
    } else {
      *out++ = '=';
      i += 1;
    }
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
  return text;
}

}  // namespace MailVrex
