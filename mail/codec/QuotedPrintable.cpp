// Quoted-printable encoder (body and header modes) and decoder.
#include "mail/codec/QuotedPrintable.h"

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
// whole appends rather than byte by byte.
class ChunkWriter {
 public:
  explicit ChunkWriter(std::string& out) : out_(out) {}
  ~ChunkWriter() { Flush(); }
  ChunkWriter(const ChunkWriter&) = delete;
  ChunkWriter& operator=(const ChunkWriter&) = delete;

  // Room for at least one escape and one soft break.
  char* Reserve() {
    if (used_ > sizeof(chunk_) - 8) Flush();
    return chunk_ + used_;
  }
  void Commit(char* end) { used_ = static_cast<std::size_t>(end - chunk_); }
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
  int column = 0;
  {
    ChunkWriter writer(encoded);
    for (char ch : data) {
      auto b = static_cast<unsigned char>(ch);
      char* out = writer.Reserve();
      switch (classes[b]) {
        case kEscape:
          *out++ = '=';
          *out++ = kHex[b >> 4];
          *out++ = kHex[b & 15];
          column += 3;
          break;
        case kCarriageReturn:
          *out++ = ch;
          column = 0;
          break;
        default:
          *out++ = ch;
          ++column;
      }
      if (column >= kSoftBreakColumn && !headerMode) {
        std::memcpy(out, "=\r\n", 3);
        out += 3;
        column = 0;
      }
      writer.Commit(out);
    }
  }
  return encoded;
}

std::string QPToText(std::string_view encoded) {
  std::string text;
  text.reserve(encoded.size());
  std::size_t i = 0;
  const std::size_t n = encoded.size();
  while (i < n) {
    const void* found = std::memchr(encoded.data() + i, '=', n - i);
    std::size_t eq =
        found ? static_cast<std::size_t>(static_cast<const char*>(found) - encoded.data()) : n;
    text.append(encoded.data() + i, eq - i);
    if (eq == n) break;
    std::size_t after = n - eq - 1;
    if (after == 0) break;  // a final "=" is dropped
    if (after == 1) {       // "=" and one character at the very end stay
      text.append(encoded.data() + eq, 2);
      break;
    }
    char c1 = encoded[eq + 1], c2 = encoded[eq + 2];
    int high = kHexValue[static_cast<unsigned char>(c1)];
    int low = kHexValue[static_cast<unsigned char>(c2)];
    if (high >= 0 && low >= 0) {
      text += static_cast<char>(high * 16 + low);
      i = eq + 3;
    } else if ((c1 == '\r' && c2 == '\n') || (c1 == '\n' && c2 == '\r')) {
      i = eq + 3;
    } else if (c1 == '\r' || c1 == '\n') {
      i = eq + 2;
    } else {
      text += '=';
      i = eq + 1;
    }
  }
  return text;
}

}  // namespace MailVrex
