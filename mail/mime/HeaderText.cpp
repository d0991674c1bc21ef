// Packing header words into lines that mail servers accept, cleaning
// addresses, and reading split words back.
#include "mail/mime/HeaderText.h"

#include <algorithm>
#include <vector>

#include "mail/codec/HeaderWords.h"
#include "mail/codec/TextUtil.h"
#include "platform/CodePage.h"

namespace MailVrex {
namespace {

// Pieces of a split value are kept short enough that "Subject: " and one
// piece still fit in the 72 columns the header is folded to.
constexpr std::size_t kSplitWordLength = 60;
// A plain value with a longer run of non-blanks could not be folded below
// the line limit once its field name stands in front of it.
constexpr std::size_t kMaxPlainRun = 900;

bool IsUtf8(std::string_view charset) {
  std::string name;
  for (char c : charset)
    if (c != '-' && c != '_') name += c;
  return EqualIgnoringAsciiCase(name, "utf8");
}

// Length of the character starting at value[at]: a double-byte character of
// the ANSI code page, or a UTF-8 sequence when the words name that charset.
std::size_t CharacterLength(std::string_view value, std::size_t at, bool utf8) {
  auto b = static_cast<unsigned char>(value[at]);
  std::size_t length = 1;
  if (utf8) {
    while (at + length < value.size() && length < 4 &&
           (static_cast<unsigned char>(value[at + length]) & 0xC0) == 0x80)
      ++length;
  } else if (platform::IsLeadByte(b) && at + 1 < value.size()) {
    length = 2;
  }
  return length;
}

std::string SplitIntoWords(std::string_view value, std::string_view charset) {
  const std::string head = "=?" + std::string(charset) + "?Q?";
  const std::string tail = "?=";
  const std::size_t overhead = head.size() + tail.size();
  const bool utf8 = IsUtf8(charset);
  std::string out;
  std::size_t wordLength = 0;  // escaped text in the current word
  bool open = false;
  for (std::size_t at = 0; at < value.size();) {
    std::string_view character = value.substr(at, CharacterLength(value, at, utf8));
    std::size_t length = QWordTextLength(character);
    // A word always takes at least one character, however long the charset.
    if (open && overhead + wordLength + length > kSplitWordLength) {
      out += tail;
      open = false;
    }
    if (!open) {
      if (!out.empty()) out += ' ';
      out += head;
      wordLength = 0;
      open = true;
    }
    AppendQWordText(out, character);
    wordLength += length;
    at += character.size();
  }
  if (open) out += tail;
  return out;
}

std::size_t LongestRunOfNonBlanks(std::string_view value) {
  std::size_t longest = 0;
  std::size_t run = 0;
  for (char c : value) {
    run = (c == ' ' || c == '\t') ? 0 : run + 1;
    longest = std::max(longest, run);
  }
  return longest;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Lines of at most kMaxLineLength characters, each continuation beginning
// with the blank it was broken before, so unfolding gives the line back.
void AppendBrokenLine(std::string& out, std::string_view line) {
  std::size_t lowest = 1;
  if (std::size_t colon = line.find(": "); colon != std::string_view::npos) lowest = colon + 2;
  while (line.size() > kMaxLineLength) {
    // A line of blanks alone would read as the end of the header.
    std::size_t firstText = line.find_first_not_of(" \t");
    std::size_t cut = std::string_view::npos;
    for (std::size_t at = kMaxLineLength; at >= lowest && at > firstText; --at)
      if (IsBlank(line[at])) {
        cut = at;
        break;
      }
    if (cut == std::string_view::npos) break;
    out.append(line.substr(0, cut));
    out += "\r\n";
    line.remove_prefix(cut);
    lowest = 1;
  }
  out.append(line);
  out += "\r\n";
}

}  // namespace

std::string CleanToken(std::string_view token) {
  std::string clean;
  clean.reserve(token.size());
  for (char c : token)
    if (static_cast<unsigned char>(c) > 0x20) clean += c;
  return clean;
}

std::string ContentIdOf(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  // "=" and "?" go too: "=?" could pass for an encoded word.
  constexpr std::string_view kKept = "!#$&'*+-/^_`{|}~.@";
  std::string id = "<";
  for (char c : name) {
    auto b = static_cast<unsigned char>(c);
    bool kept = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                kKept.find(c) != std::string_view::npos;
    if (kept) {
      id += c;
    } else {
      id += '%';
      id += kHex[b >> 4];
      id += kHex[b & 15];
    }
  }
  return id + '>';
}

std::string WithoutControlBytes(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x20) clean += c;
  return clean;
}

std::string PackHeaderText(std::string_view value, std::string_view charset) {
  std::string packed = PackHeaderWord(value, charset);
  bool encoded = packed != value;
  if (encoded ? packed.size() <= kMaxEncodedWordLength
              : LongestRunOfNonBlanks(value) <= kMaxPlainRun)
    return packed;
  return SplitIntoWords(value, charset);
}

std::string UnpackHeaderText(std::string_view value) {
  std::string joined;
  joined.reserve(value.size());
  for (std::size_t at = 0; at < value.size(); ++at) {
    joined += value[at];
    if (value[at] != '=' || at == 0 || value[at - 1] != '?') continue;
    std::size_t next = at + 1;
    while (next < value.size() && IsBlank(value[next])) ++next;
    if (next > at + 1 && value.substr(next, 2) == "=?") at = next - 1;
  }
  return UnpackHeaderWords(joined);
}

std::string FoldOverlongLines(std::string block) {
  bool overlong = false;
  for (std::size_t start = 0; start < block.size() && !overlong;) {
    std::size_t end = block.find("\r\n", start);
    if (end == std::string::npos) end = block.size();
    overlong = end - start > kMaxLineLength;
    start = end + 2;
  }
  if (!overlong) return block;

  std::string out;
  out.reserve(block.size() + block.size() / kMaxLineLength * 2);
  for (std::size_t start = 0; start < block.size();) {
    std::size_t end = block.find("\r\n", start);
    if (end == std::string::npos) end = block.size();
    AppendBrokenLine(out, std::string_view(block).substr(start, end - start));
    start = end + 2;
  }
  return out;
}

}  // namespace MailVrex
