// Space trimming, left padding and the numeric-host test.
#include "mail/codec/TextUtil.h"

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
