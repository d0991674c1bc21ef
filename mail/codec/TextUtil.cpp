// Space trimming, left padding, ASCII case folding and the numeric-host test.
#include "mail/codec/TextUtil.h"

#include <algorithm>

namespace MailVrex {

std::string_view TrimBlanksView(std::string_view s) {
  std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  std::size_t last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

std::string TrimBlanks(std::string_view s) {
  return std::string(TrimBlanksView(s));
}

std::string TrimLeadingBlanks(std::string_view s) {
  std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first));
}

std::string PadLeftTo(std::string_view s, int width, std::string_view pad) {
  std::string text = TrimLeadingBlanks(s);
  std::size_t wanted = width > 0 ? static_cast<std::size_t>(width) : 0;
  if (text.size() > wanted) return text.substr(text.size() - wanted);
  // An empty pad could never reach the width.
  if (pad.empty()) return text;
  std::string prefix;
  while (prefix.size() + text.size() < wanted) prefix += pad;
  return prefix + text;
}

char LowerAscii(char ch) {
  return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

char UpperAscii(char ch) {
  return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

std::string LowerAscii(std::string_view s) {
  std::string lower(s);
  for (char& ch : lower) ch = LowerAscii(ch);
  return lower;
}

std::string UpperAscii(std::string_view s) {
  std::string upper(s);
  for (char& ch : upper) ch = UpperAscii(ch);
  return upper;
}

int CompareIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(LowerAscii(a[i]));
    const auto y = static_cast<unsigned char>(LowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareIgnoringAsciiCase(a, b) == 0;
}

bool StartsWithIgnoringAsciiCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualIgnoringAsciiCase(s.substr(0, prefix.size()), prefix);
}

bool IsNumericHost(std::string_view host) {
  std::size_t start = 0;
  while (true) {
    std::size_t dot = host.find('.', start);
    std::string_view piece = host.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (piece.empty()) return false;
    for (char ch : piece) {
      if (ch < '0' || ch > '9') return false;
    }
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

}  // namespace MailVrex
