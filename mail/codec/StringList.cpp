// The string list: splitting a text into lines and joining them with CR LF.
#include "mail/codec/StringList.h"

namespace MailVrex {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch != '\r' && ch != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::size_t total = 0;
  for (const auto& line : lines) total += line.size() + 2;
  std::string joined;
  joined.reserve(total);
  for (const auto& line : lines) {
    joined += line;
    joined += "\r\n";
  }
  return joined;
}

}  // namespace MailVrex
