// Encoded words in header values: packing a value into one "Q" word and
// decoding every "B", "Q" and "U" word found in a value.
#include "mail/codec/HeaderWords.h"

#include <algorithm>
#include <vector>

#include "mail/codec/Base64.h"
#include "mail/codec/HeaderQuoting.h"
#include "mail/codec/QuotedPrintable.h"
#include "mail/codec/TextUtil.h"
#include "mail/codec/Uucode.h"

namespace MailVrex {
namespace {

std::string UpToFirstNul(const unsigned char* bytes, std::size_t count) {
  const unsigned char* end = std::find(bytes, bytes + count, 0);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(end - bytes));
}

std::string DecodeWordText(char letter, std::string_view text) {
  if (text.empty()) return {};
  if (letter == 'B') {
    std::vector<unsigned char> buffer(text.size() / 4 * 3 + 1);
    return UpToFirstNul(buffer.data(), Base64ToBuffer(text, buffer.data()));
  }
  if (letter == 'U') {
    unsigned char buffer[45];
    return UpToFirstNul(buffer, UuLineToBuffer(text, buffer));
  }
  std::string underscoresAsSpaces(text);
  std::replace(underscoresAsSpaces.begin(), underscoresAsSpaces.end(), '_', ' ');
  return QPToText(underscoresAsSpaces);
}

// letter "?" encoded-text; anything that does not name B, Q or U counts as Q.
std::string DecodeWordBody(std::string_view body) {
  char letter = 'Q';
  if (body.size() >= 2 && body[1] == '?') {
    char named = UpperAscii(body[0]);
    if (named == 'B' || named == 'U') letter = named;
  }
  return DecodeWordText(letter, body.size() >= 2 ? body.substr(2) : std::string_view{});
}

bool StaysLiteral(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' ||
         c == '*' || c == '+' || c == '-' || c == '/';
}

bool StandsAsItIs(std::string_view value) {
  bool printable = std::all_of(value.begin(), value.end(), [](char ch) {
    auto b = static_cast<unsigned char>(ch);
    return b >= 0x20 && b < 0x7F;
  });
  return printable && value.find("=?") == std::string_view::npos &&
         (value.empty() || (value.front() != ' ' && value.back() != ' '));
}

}  // namespace

void AppendQWordText(std::string& out, std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (StaysLiteral(c)) {
      out += ch;
    } else {
      out += '=';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
}

std::size_t QWordTextLength(std::string_view bytes) {
  std::size_t length = 0;
  for (char ch : bytes) length += StaysLiteral(static_cast<unsigned char>(ch)) ? 1 : 3;
  return length;
}

std::string PackHeaderWord(std::string_view value, std::string_view charset) {
  if (StandsAsItIs(value)) return std::string(value);
  CheckCharset(charset);
  std::string word = "=?";
  word += charset;
  word += "?Q?";
  AppendQWordText(word, value);
  word += "?=";
  return word;
}

std::string UnpackHeaderWords(std::string_view value) {
  std::string text = TrimBlanks(value);
  std::size_t from = 0;
  while (true) {
    std::size_t start = text.find("=?", from);
    if (start == std::string::npos) break;
    std::size_t q1 = text.find('?', start + 2);
    if (q1 == std::string::npos) break;
    std::size_t q2 = text.find("?=", q1 + 1);
    if (q2 == std::string::npos) break;
    // A "Q" text that begins with "=" would otherwise end the word early.
    std::size_t nextMark = text.find('?', q2 + 1);
    if (nextMark != std::string::npos && nextMark + 1 < text.size() && text[nextMark + 1] == '=') {
      q2 = nextMark;
    }
    std::string decoded = DecodeWordBody(std::string_view(text).substr(q1 + 1, q2 - q1 - 1));
    text.replace(start, q2 + 2 - start, decoded);
    // The decoded text is content: a "=?" in it, or one it forms with the
    // character before it, stays as it is.
    from = start + decoded.size();
  }
  return text;
}

}  // namespace MailVrex
