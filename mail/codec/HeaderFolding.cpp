// Folding a header block to 72 columns for the wire.
#include <vector>

#include "mail/codec/HeaderLines.h"

namespace MailVrex {
namespace {

constexpr std::size_t kFoldColumn = 72;
constexpr std::size_t kTabLineLowerLimit = 36;

std::string WithCrLfLineEnds(std::string_view block) {
  std::string text;
  text.reserve(block.size() + block.size() / 32 + 2);
  for (std::size_t i = 0; i < block.size(); ++i) {
    char ch = block[i];
    if (ch == '\r' || ch == '\n') {
      text += "\r\n";
      if (ch == '\r' && i + 1 < block.size() && block[i + 1] == '\n') ++i;
    } else {
      text += ch;
    }
  }
  while (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
    text.resize(text.size() - 2);
  return text;
}

// Marks the characters inside quoted stretches, pairing equal quote
// characters from the end of the line backwards. Every remainder of a fold
// shares the line's end, so one marking serves all of them. A quote without
// a partner is an ordinary character.
std::vector<bool> QuotedStretches(std::string_view line) {
  std::vector<bool> inside(line.size(), false);
  std::size_t i = line.size();
  while (i > 0) {
    char ch = line[--i];
    if (ch != '"' && ch != '\'') continue;
    std::size_t partner = line.substr(0, i).rfind(ch);
    if (partner == std::string_view::npos) continue;
    for (std::size_t k = partner; k <= i; ++k) inside[k] = true;
    i = partner;
  }
  return inside;
}

// Folds one long line; the remainder after each break goes round again.
void FoldLine(std::string_view line, std::string& out) {
  std::vector<bool> inside = QuotedStretches(line);
  std::size_t colonSpace = line.find(": ");
  std::size_t offset = 0;
  while (line.size() - offset > kFoldColumn) {
    std::string_view rest = line.substr(offset);
    // Positions below are 1-based within the remainder.
    std::size_t lowerLimit = 2;
    if (rest.front() == '\t') {
      lowerLimit = kTabLineLowerLimit;
    } else {
      if (colonSpace != std::string_view::npos && colonSpace < offset)
        colonSpace = line.find(": ", offset);
      if (colonSpace != std::string_view::npos) lowerLimit = colonSpace - offset + 1 + 2;
    }
    std::size_t breakAt = 0;
    for (std::size_t p = kFoldColumn; p >= lowerLimit && breakAt == 0; --p) {
      char ch = rest[p - 1];
      if (!inside[offset + p - 1] && (ch == ' ' || ch == ',' || ch == ';')) breakAt = p;
    }
    if (breakAt == 0) break;
    out.append(rest.substr(0, rest[breakAt - 1] == ' ' ? breakAt - 1 : breakAt));
    out += "\r\n\t";
    offset += breakAt;
  }
  out.append(line.substr(offset));
  out += "\r\n";
}

}  // namespace

std::string FoldHeaderText(std::string_view block) {
  std::string text = WithCrLfLineEnds(block);
  std::string folded;
  if (text.empty()) return folded;
  folded.reserve(text.size() + text.size() / 24 + 2);
  std::string_view all = text;
  std::size_t begin = 0;
  while (true) {
    std::size_t end = all.find("\r\n", begin);
    std::string_view line = all.substr(begin, end == std::string_view::npos ? end : end - begin);
    if (line.size() <= kFoldColumn) {
      folded.append(line);
      folded += "\r\n";
    } else {
      FoldLine(line, folded);
    }
    if (end == std::string_view::npos) break;
    begin = end + 2;
  }
  return folded;
}

}  // namespace MailVrex
