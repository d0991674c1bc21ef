// Quoted strings with quoted-pairs, the quote scan over header texts, and the
// MIME token test.
#include "mail/codec/HeaderQuoting.h"

#include "mail/codec/MailError.h"

namespace MailVrex {

std::string QuotedString(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  for (char ch : text) {
    if (ch == '"' || ch == '\\') quoted += '\\';
    quoted += ch;
  }
  quoted += '"';
  return quoted;
}

std::string UnquotedString(std::string_view value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::string(value);
  std::string_view outerPairRemoved = value.substr(1, value.size() - 2);
  QuoteTracker quotes;
  std::string content;
  content.reserve(value.size() - 2);
  for (std::size_t at = 0; at < value.size(); ++at) {
    quotes.Quoted(value[at]);
    // Only the last character may close it, or this is no single quoted string.
    if (!quotes.Inside() && at + 1 < value.size()) return std::string(outerPairRemoved);
    if (!quotes.WasMark()) content += value[at];
  }
  if (quotes.Inside()) return std::string(outerPairRemoved);
  return content;
}

bool QuoteTracker::Quoted(char ch) {
  if (!inside_) {
    inside_ = mark_ = ch == '"';
    return inside_;
  }
  mark_ = false;
  if (escaped_) {
    escaped_ = false;
  } else if (ch == '\\') {
    escaped_ = mark_ = true;
  } else if (ch == '"') {
    inside_ = false;
    mark_ = true;
  }
  return true;
}

bool IsMimeToken(std::string_view text) {
  constexpr std::string_view kSpecials = "()<>@,;:\\\"/[]?=";
  if (text.empty()) return false;
  for (char ch : text) {
    auto b = static_cast<unsigned char>(ch);
    if (b <= 0x20 || b >= 0x7F || kSpecials.find(ch) != std::string_view::npos) return false;
  }
  return true;
}

void CheckCharset(std::string_view charset) {
  if (!IsMimeToken(charset)) throw MailError("Invalid charset: " + std::string(charset));
}

}  // namespace MailVrex
