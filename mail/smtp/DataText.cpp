// The text that follows DATA: the message with SMTP transparency (RFC 5321 section 4.5.2) and the
// end-of-data line.
#include "mail/smtp/DataText.h"

#include <cstring>

namespace MailVrex {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kEndOfData = ".\r\n";

// Offset of the first byte after the next line end at or after `from`, or npos when no line end
// follows.
std::size_t NextLineStart(std::string_view text, std::size_t from) {
  const char* begin = text.data() + from;
  const std::size_t rest = text.size() - from;
  const void* lf = std::memchr(begin, '\n', rest);
  const std::size_t lfAt =
      lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) : rest;
  // A CR not followed by LF ends a line too; the first CR before the LF decides.
  if (const void* cr = std::memchr(begin, '\r', lfAt)) {
    const std::size_t crAt = static_cast<std::size_t>(static_cast<const char*>(cr) - begin);
    if (crAt + 1 != lfAt) return from + crAt + 1;
  }
  return lf ? from + lfAt + 1 : std::string_view::npos;
}

}  // namespace

std::string MakeDataText(std::string_view message) {
  std::string data;
  // Dots at line starts are rare in encoded bodies; the reserve keeps the usual text to one
  // allocation.
  data.reserve(message.size() + message.size() / 1024 + kLineEnd.size() + kEndOfData.size() + 16);
  std::size_t copied = 0;
  std::size_t lineStart = 0;
  while (lineStart < message.size()) {
    if (message[lineStart] == '.') {
      data.append(message.substr(copied, lineStart - copied));
      data.push_back('.');
      copied = lineStart;
    }
    lineStart = NextLineStart(message, lineStart);
  }
  data.append(message.substr(copied));
  if (!message.empty() && !message.ends_with(kLineEnd)) data.append(kLineEnd);
  data.append(kEndOfData);
  return data;
}

}  // namespace MailVrex
