// The uuencode line decoder.
#include "mail/codec/Uucode.h"

#include <algorithm>
#include <cstring>

#include "mail/codec/MailError.h"

namespace MailVrex {
namespace {

constexpr std::size_t kLineBytes = 45;
constexpr std::size_t kMaxSymbols = 60;

}  // namespace

int UuValueOfChar(char ch) {
  auto code = static_cast<unsigned char>(ch);
  if (code == ' ' || code == '`') return 0;
  if (code >= '!' && code <= '_') return code - 32;
  throw MailError("UUCODE message format error");
}

std::size_t UuLineToBuffer(std::string_view line, unsigned char* buffer) {
  if (line.empty()) return 0;
  auto count = static_cast<std::size_t>(UuValueOfChar(line[0]));
  // A full line's trailing CR LF lies beyond its 60 symbols and is ignored;
  // any other line offers every character after the count as a symbol.
  std::string_view symbols = line.substr(1, kMaxSymbols);
  std::memset(buffer, 0, kLineBytes);
  std::size_t bit = 0;
  for (char ch : symbols) {
    auto value = static_cast<unsigned>(UuValueOfChar(ch));
    // Six bits, most significant first, may straddle two bytes.
    std::size_t byte = bit / 8, shift = bit % 8;
    buffer[byte] = static_cast<unsigned char>(buffer[byte] | ((value << 2) >> shift));
    if (shift > 2) buffer[byte + 1] = static_cast<unsigned char>(value << (10 - shift));
    bit += 6;
  }
  // Only 45 bytes can come from one line, whatever its count says.
  return std::min(count, kLineBytes);
}

}  // namespace MailVrex
