// Folding a header block to 72 columns for the wire. A fold only ever adds
// CR LF: before a blank that stays as the first character of the next line,
// or, in address and parameter fields, after a "," or ";" with a blank added
// where the syntax allows white space. Unfolding gives the text back.
#include <vector>

#include "mail/codec/HeaderLines.h"
#include "mail/codec/HeaderQuoting.h"
#include "mail/codec/TextUtil.h"

namespace MailVrex {
namespace {

constexpr std::size_t kFoldColumn = 72;
constexpr std::size_t kTabLineLowerLimit = 36;

// Every CR LF, lone CR and lone LF becomes CR LF, and the line breaks at the
// end of the block go: the block's own lines, each to be ended once.
std::string CrLfLinesWithoutFinalBreaks(std::string_view block) {
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

// Fields whose syntax allows white space after every "," and ";" outside
// quoted strings: the address lists and the fields with parameters.
bool SeparatorsMayFold(std::string_view line) {
  static constexpr std::string_view kFields[] = {
      "From", "To", "Cc", "Bcc", "Reply-To", "Sender", "Content-Type", "Content-Disposition"};
  std::string_view name = line.substr(0, line.find(':'));
  for (std::string_view field : kFields)
    if (EqualIgnoringAsciiCase(name, field)) return true;
  return false;
}

// Marks the characters of quoted strings, quotes included; a quote that never
// closes is an ordinary character. Every remainder of a fold shares the
// line's end, so one marking serves all of them.
std::vector<bool> QuotedStretches(std::string_view line) {
  std::vector<bool> inside(line.size(), false);
  QuoteTracker quotes;
  std::size_t opened = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    bool wasInside = quotes.Inside();
    inside[i] = quotes.Quoted(line[i]);
    if (!wasInside && quotes.Inside()) opened = i;
  }
  if (quotes.Inside())
    for (std::size_t k = opened; k < line.size(); ++k) inside[k] = false;
  return inside;
}

// Folds one long line; the remainder after each break goes round again. The
// remainder is line[offset...], preceded by one added blank after a fold at a
// separator; positions below are 1-based within the remainder as it goes on
// the wire.
void FoldLine(std::string_view line, std::string& out) {
  const std::vector<bool> inside = QuotedStretches(line);
  const bool separators = SeparatorsMayFold(line);
  const std::size_t colonSpace = line.find(": ");
  std::size_t offset = 0;
  std::size_t added = 0;  // 1 while the remainder begins with an added blank
  auto at = [&](std::size_t p) { return p <= added ? ' ' : line[offset + p - 1 - added]; };
  auto quoted = [&](std::size_t p) { return p > added && inside[offset + p - 1 - added]; };
  auto emit = [&](std::size_t count) {
    if (added != 0) out += ' ';
    out.append(line.substr(offset, count - added));
  };
  while (line.size() - offset + added > kFoldColumn) {
    std::size_t lowerLimit = 2;
    if (at(1) == '\t') {
      lowerLimit = kTabLineLowerLimit;
    } else {
      // Only the field's own ": " keeps a fold out of the name; one in the value is text, and
      // taking it for the name would leave the rest of a long value unfolded.
      if (colonSpace != std::string_view::npos && colonSpace >= offset)
        lowerLimit = colonSpace - offset + added + 1 + 2;
    }
    // A line of blanks alone would read as the end of the header.
    std::size_t firstText = 1;
    while (firstText <= kFoldColumn && at(firstText) == ' ') ++firstText;
    std::size_t breakAt = 0;
    for (std::size_t p = kFoldColumn; p >= lowerLimit && breakAt == 0; --p) {
      if (quoted(p)) continue;
      char ch = at(p);
      if ((ch == ' ' && p > firstText) || (separators && (ch == ',' || ch == ';'))) breakAt = p;
    }
    if (breakAt == 0) break;
    if (at(breakAt) == ' ') {
      emit(breakAt - 1);
      out += "\r\n";
      offset += breakAt - 1 - added;
      added = 0;
    } else {
      emit(breakAt);
      out += "\r\n";
      offset += breakAt - added;
      // The next line needs a blank first: the one that follows, or one added.
      added = line[offset] == ' ' ? 0 : 1;
    }
  }
  emit(line.size() - offset + added);
  out += "\r\n";
}

}  // namespace

std::string FoldHeaderText(std::string_view block) {
  std::string text = CrLfLinesWithoutFinalBreaks(block);
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
