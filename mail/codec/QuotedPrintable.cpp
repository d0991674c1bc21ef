// Quoted-printable encoder (body and header modes) and decoder.
#include "mail/codec/QuotedPrintable.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace MailVrex {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr int kSoftBreakColumn = 72;

enum ByteClass : unsigned char { kCopy, kEscape, kCarriageReturn };

constexpr std::array<unsigned char, 256> MakeClassTable(bool headerMode) {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    bool escape = b >= 128 || b == '=' || (headerMode && (b <= 0x20 || b == '"' || b == '_'));
    table[b] = escape ? kEscape : (b == '\r' ? kCarriageReturn : kCopy);
  }
  return table;
}
constexpr auto kBodyClass = MakeClassTable(false);
constexpr auto kHeaderClass = MakeClassTable(true);

// -1 for anything but the upper-case hexadecimal digits.
constexpr std::array<signed char, 256> MakeHexTable() {
  std::array<signed char, 256> table{};
  for (auto& value : table) value = -1;
  for (int i = 0; i < 16; ++i)
    table[static_cast<unsigned char>(kHex[i])] = static_cast<signed char>(i);
  return table;
}
constexpr auto kHexValue = MakeHexTable();

// Output goes through a small local block so that the result string grows by
// whole appends rather than byte by byte; long plain runs bypass it.
class ChunkWriter {
 public:
  explicit ChunkWriter(std::string& out) : out_(out) {}
  ~ChunkWriter() { Flush(); }
  ChunkWriter(const ChunkWriter&) = delete;
  ChunkWriter& operator=(const ChunkWriter&) = delete;

  void Append(const char* data, std::size_t size) {
    if (used_ + size > sizeof chunk_) {
      Flush();
      if (size > sizeof chunk_ / 2) {
        out_.append(data, size);
        return;
      }
    }
    std::memcpy(chunk_ + used_, data, size);
    used_ += size;
  }
  void Put(char a) { Append(&a, 1); }
  void Put(char a, char b, char c) {
    const char three[3] = {a, b, c};
    Append(three, 3);
  }
  void Flush() {
    out_.append(chunk_, used_);
    used_ = 0;
  }

 private:
  std::string& out_;
  char chunk_[4096];
  std::size_t used_ = 0;
};

}  // namespace

std::string TextToQP(std::string_view data, bool headerMode) {
  std::string encoded;
  encoded.reserve(data.size() + data.size() / 4 + 16);
  const auto& classes = headerMode ? kHeaderClass : kBodyClass;
  const char* in = data.data();
  const std::size_t n = data.size();
  std::size_t column = 0;
  std::size_t i = 0;
  {
    ChunkWriter writer(encoded);
    while (i < n) {
      // A run of copied bytes, ending where the next soft break is due.
      const std::size_t limit = headerMode ? n : std::min(n, i + (kSoftBreakColumn - column));
      std::size_t j = i;
      while (j < limit && classes[static_cast<unsigned char>(in[j])] == kCopy) ++j;
      writer.Append(in + i, j - i);
      column += j - i;
      i = j;
      if (i < limit) {
        auto b = static_cast<unsigned char>(in[i++]);
        if (classes[b] == kEscape) {
          writer.Put('=', kHex[b >> 4], kHex[b & 15]);
          column += 3;
        } else {
          writer.Put('\r');
          column = 0;
        }
      }
      if (!headerMode && column >= kSoftBreakColumn) {
        writer.Put('=', '\r', '\n');
        column = 0;
      }
    }
  }
  return encoded;
}

std::string QPToText(std::string_view encoded) {
  // The text never grows in decoding: write into the sized string, trim after.
  std::string text(encoded.size(), '\0');
  char* out = text.data();
  const char* in = encoded.data();
  std::size_t i = 0;
  const std::size_t n = encoded.size();
  while (i < n) {
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
