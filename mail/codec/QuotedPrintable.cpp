// Quoted-printable encoder (body and header modes) and decoder.
#include "mail/codec/QuotedPrintable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace MailVrex {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr int kSoftBreakColumn = 72;

// "=" and the byte's two hexadecimal digits, packed as the table below packs them.
constexpr std::uint32_t EscapeCode(unsigned b) {
  return '=' | static_cast<std::uint32_t>(kHex[b >> 4]) << 8 |
         static_cast<std::uint32_t>(kHex[b & 15]) << 16 | 3u << 24;
}

// Each byte's encoded form packed for one unaligned store: up to three
// characters in the low bytes (memory order on little-endian machines) and
// their count in the top byte.
constexpr std::array<std::uint32_t, 256> MakeEncodeTable(bool headerMode) {
  std::array<std::uint32_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    // In a body every control byte but TAB is escaped, a lone CR or LF among them: the line
    // breaks CR LF are written apart, as they are (RFC 2045 section 6.7, rules 1 to 4).
    const bool escape =
        b >= 128 || b == '=' ||
        (headerMode ? (b <= 0x20 || b == '"' || b == '_') : ((b < 0x20 && b != '\t') || b == 0x7F));
    if (escape) {
      table[b] = EscapeCode(b);
    } else {
      table[b] = b | 1u << 24;
    }
  }
  return table;
}
// Marks CR and LF in the body table, in a bit that no character of a code uses
// (escapes are ASCII): the byte loop can tell at once that a group held one.
constexpr std::uint32_t kLineBreakByte = 1u << 23;
constexpr std::array<std::uint32_t, 256> MarkLineBreakBytes(std::array<std::uint32_t, 256> table) {
  table['\r'] |= kLineBreakByte;
  table['\n'] |= kLineBreakByte;
  return table;
}
constexpr auto kBodyCode = MarkLineBreakBytes(MakeEncodeTable(false));
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
// length.
void EncodeHeaderBlock(const unsigned char* in, std::size_t count, char*& out) {
  char* const base = out;
  std::ptrdiff_t pos = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t e = kHeaderCode[in[i]];
    Store4(base + pos, e);
    pos += e >> 24;
  }
  out = base + pos;
}

inline bool IsBlank(unsigned char b) {
  return b == ' ' || b == '\t';
}

// A CR LF pair of the data starts at `at`, or the data ends there: a line ends.
inline bool LineEndsAt(const unsigned char* in, std::size_t size, std::size_t at) {
  return at == size || (in[at] == '\r' && at + 1 < size && in[at + 1] == '\n');
}

// Body mode encodes in[begin, end) of the data in[0, size), which it may read
// around the range; it returns where the next range begins (one beyond end
// when a CR LF pair straddled it). A byte adds at most three columns, so well
// short of the soft break eight bytes go together without looking at the
// column, as in header mode; a group that held a CR or an LF is taken again
// one byte at a time, like the last bytes of a line. Each CR LF pair is
// written as the line break it stands for (lone CRs and LFs are escaped by the
// table); a space or TAB just before it, or at the very end, would end a line,
// and is written again as an escape (rule 3): one before a soft break is
// followed by its "=". No soft break comes right before a line's end, so a
// line holds at most 74 characters. Positions are offsets from out, and a line
// may have begun before it (in an earlier range).
std::size_t EncodeBodyRange(const unsigned char* in, std::size_t size, std::size_t begin,
                            std::size_t end, char*& out, int& column) {
  constexpr std::uint32_t kSoftBreak = '=' | '\r' << 8 | '\n' << 16;
  constexpr std::uint32_t kLineBreak = '\r' | '\n' << 8;
  char* const base = out;
  std::ptrdiff_t pos = 0;
  std::ptrdiff_t lineStart = -column;
  std::size_t i = begin;
  std::size_t slowUntil = begin;  // a group that held a CR or LF goes again, byte by byte
  while (i < end) {
    if (i >= slowUntil && pos - lineStart <= kSoftBreakColumn - 1 - 24 && end - i >= 8) {
      // Eight bytes give at most 24 characters: no soft break falls among them.
      const std::ptrdiff_t from = pos;
      std::uint32_t seen = 0;
      for (std::size_t k = i; k < i + 8; ++k) {
        const std::uint32_t e = kBodyCode[in[k]];
        Store4(base + pos, e);
        pos += e >> 24;
        seen |= e;
      }
      if ((seen & kLineBreakByte) == 0) {
        i += 8;
        continue;
      }
      pos = from;
      slowUntil = i + 8;
    }
    if (in[i] == '\r' && i + 1 < size && in[i + 1] == '\n') {
      if (pos > lineStart && IsBlank(in[i - 1])) {
        pos -= 1;  // the blank, written as it is, ends the output so far
        Store4(base + pos, EscapeCode(in[i - 1]));
        pos += 3;
      }
      Store4(base + pos, kLineBreak);
      pos += 2;
      lineStart = pos;
      i += 2;
      continue;
    }
    // Near the soft break, or a lone CR or LF: byte by byte.
    const std::uint32_t e = kBodyCode[in[i++]] & ~kLineBreakByte;
    Store4(base + pos, e);
    pos += e >> 24;
    if (pos - lineStart >= kSoftBreakColumn && !LineEndsAt(in, size, i)) {
      Store4(base + pos, kSoftBreak);
      pos += 3;
      lineStart = pos;
    }
  }
  out = base + pos;
  column = static_cast<int>(pos - lineStart);
  return i;
}

// The input goes in blocks; before each block the result gets room for its
// worst case (every byte escaped, a soft break after every 24 bytes, the
// spare byte of the last four-byte store, a line break) and is written
// through a plain pointer. The room left over stays for the next block, so
// each byte of the result is cleared about once; it is trimmed at the end.
constexpr std::size_t kBlock = 4096;
constexpr std::size_t kWorst = 3 * kBlock + 3 * (kBlock / 24 + 1) + 4 + 2;

class Encoder {
 public:
  explicit Encoder(std::size_t inputSize) { encoded_.reserve(inputSize + inputSize / 4 + kWorst); }

  void Header(const unsigned char* in, std::size_t size) {
    for (std::size_t begin = 0; begin < size; begin += kBlock) {
      char* out = Room();
      char* const start = out;
      EncodeHeaderBlock(in + begin, std::min(size - begin, kBlock), out);
      used_ += static_cast<std::size_t>(out - start);
    }
  }

  void Body(const unsigned char* in, std::size_t size) {
    int column = 0;
    for (std::size_t begin = 0; begin < size;) {
      char* out = Room();
      char* const start = out;
      begin = EncodeBodyRange(in, size, begin, std::min(size - begin, kBlock) + begin, out, column);
      used_ += static_cast<std::size_t>(out - start);
    }
    if (size > 0 && IsBlank(in[size - 1]) && column > 0) {
      char* out = Room();
      Store4(out - 1, EscapeCode(in[size - 1]));
      used_ += 2;
    }
  }

  std::string Result() && {
    encoded_.resize(used_);
    return std::move(encoded_);
  }

 private:
  char* Room() {
    if (encoded_.size() < used_ + kWorst) encoded_.resize(used_ + kWorst);
    return encoded_.data() + used_;
  }

  std::string encoded_;
  std::size_t used_ = 0;
};

}  // namespace

std::string TextToQP(std::string_view data, bool headerMode) {
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  Encoder encoder(data.size());
  if (headerMode) {
    encoder.Header(in, data.size());
  } else {
    encoder.Body(in, data.size());
  }
  return std::move(encoder).Result();
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
