// Reading and changing single unfolded header lines, and cutting texts into
// CR LF lines. Folding lives in HeaderFolding.cpp.
#include "mail/codec/HeaderLines.h"

#include <cstring>

#include "mail/codec/HeaderQuoting.h"
#include "mail/codec/TextUtil.h"

namespace MailVrex {
namespace {

// Removes one pair of enclosing double quotes from a trimmed value, resolving
// the quoted-pairs of a value that is one quoted string.
std::string Unquoted(std::string_view value) {
  return UnquotedString(TrimBlanksView(value));
}

// The value part of a line: [begin, end) after the first unquoted ":" up to
// the next unquoted ";". begin is npos when the line has no such ":".
struct ValueSpan {
  std::size_t begin = std::string_view::npos;
  std::size_t end = std::string_view::npos;
};

ValueSpan FindValueSpan(std::string_view line) {
  ValueSpan span;
  QuoteTracker quotes;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char ch = line[i];
    if (quotes.Quoted(ch)) continue;
    if (span.begin == std::string_view::npos) {
      if (ch == ':') span.begin = i + 1;
    } else if (ch == ';') {
      span.end = i;
      return span;
    }
  }
  span.end = line.size();
  return span;
}

// The walk that the parameter routines share over a trimmed line. The end of
// the line ends a parameter as a ";" would, but even inside a quote that never
// closes, so no closing ";" is ever taken into a value. Reports the position
// right after the "=" of every parameter whose name matches, and calls
// capture for each character of its value.
template <typename OnMatch, typename OnCapture>
void WalkParams(std::string_view line, std::string_view name, OnMatch onMatch,
                OnCapture onCapture) {
  enum { kFieldName, kValuePart, kParams } area = kFieldName;
  std::string_view wanted = TrimBlanksView(name);
  std::string collected;
  QuoteTracker quotes;
  bool capturing = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char ch = line[i];
    if (!quotes.Quoted(ch)) {
      if (ch == ':' && area == kFieldName) {
        area = kValuePart;
        continue;
      }
      if (ch == ';') {
        // The first ";" of a line without ":" only ends the value part.
        area = area == kFieldName ? kValuePart : kParams;
        capturing = false;
        collected.clear();
        continue;
      }
      if (ch == '=' && area == kParams) {
        capturing = EqualIgnoringAsciiCase(TrimBlanksView(collected), wanted);
        collected.clear();
        if (capturing && !onMatch(i + 1)) return;
        continue;
      }
    }
    if (area != kParams) continue;
    if (capturing) {
      onCapture(ch);
    } else {
      collected += ch;
    }
  }
}

// End of a line that starts at begin: just past its CR LF, or the text's end.
std::size_t LineEnd(std::string_view text, std::size_t begin) {
  std::size_t from = begin + 1;
  while (from < text.size()) {
    const void* found = std::memchr(text.data() + from, '\n', text.size() - from);
    if (!found) break;
    auto lf = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    if (text[lf - 1] == '\r') return lf + 1;
    from = lf + 1;
  }
  return text.size();
}

}  // namespace

int IndexOfHeaderLine(const std::vector<std::string>* lines, std::string_view prefix,
                      int occurrence) {
  if (lines == nullptr) return -1;
  int seen = 0;
  for (std::size_t i = 0; i < lines->size(); ++i) {
    std::string_view entry = (*lines)[i];
    if (entry.size() < prefix.size()) continue;
    if (!EqualIgnoringAsciiCase(entry.substr(0, prefix.size()), prefix)) continue;
    if (seen++ == occurrence) return static_cast<int>(i);
  }
  return -1;
}

std::string FieldValueOfLine(std::string_view line) {
  ValueSpan span = FindValueSpan(line);
  if (span.begin == std::string_view::npos) return {};
  return Unquoted(line.substr(span.begin, span.end - span.begin));
}

std::string ReplaceFieldValueInLine(std::string_view line, std::string_view value) {
  ValueSpan span = FindValueSpan(line);
  if (span.begin == std::string_view::npos) return std::string(line);
  std::string result(line.substr(0, span.begin));
  result += ' ';
  result += TrimBlanksView(value);
  result += line.substr(span.end);
  return result;
}

std::string ParamValueOfLine(std::string_view line, std::string_view name) {
  std::string text = TrimBlanks(line);
  std::string captured;
  WalkParams(
      text, name, [](std::size_t) { return true; }, [&](char ch) { captured += ch; });
  return Unquoted(captured);
}

std::string ReplaceParamValueInLine(std::string_view line, std::string_view name,
                                    std::string_view value) {
  std::string text = TrimBlanks(line);
  std::size_t valueBegin = std::string::npos;
  WalkParams(
      text, name,
      [&](std::size_t begin) {
        valueBegin = begin;
        return false;
      },
      [](char) {});
  if (valueBegin == std::string::npos) {
    return text + "; " + std::string(TrimBlanksView(name)) + "=" +
           std::string(TrimBlanksView(value));
  }
  // The value ends at the next ";" outside quotes, or with the line.
  std::size_t valueEnd = valueBegin;
  QuoteTracker quotes;
  for (; valueEnd < text.size(); ++valueEnd) {
    if (!quotes.Quoted(text[valueEnd]) && text[valueEnd] == ';') break;
  }
  return text.substr(0, valueBegin) + std::string(TrimBlanksView(value)) + text.substr(valueEnd);
}

std::string_view NextLineView(std::string_view text, std::ptrdiff_t& position) {
  if (position < 1 || static_cast<std::size_t>(position) > text.size()) {
    position = -1;
    return {};
  }
  auto begin = static_cast<std::size_t>(position - 1);
  std::size_t end = LineEnd(text, begin);
  position = end < text.size() ? static_cast<std::ptrdiff_t>(end + 1) : -1;
  return text.substr(begin, end - begin);
}

std::string TakeNextLine(std::string_view text, std::ptrdiff_t& position) {
  return std::string(NextLineView(text, position));
}

}  // namespace MailVrex
