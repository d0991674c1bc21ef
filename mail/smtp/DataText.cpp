// The text that follows DATA: the message with SMTP transparency (RFC 5321 section 4.5.2) and the
// end-of-data line.
#include "mail/smtp/DataText.h"

#include <algorithm>
#include <cstring>

namespace MailVrex {
namespace {

constexpr std::string_view kLineEndAndEndOfData = "\r\n.\r\n";

// A dot begins a line when the byte before it ends one: an LF, or a CR (which, followed by the
// dot, is a lone CR).
bool EndsLine(char c) {
  return c == '\n' || c == '\r';
}

// Offset in `text` of the first dot at or after `from` that begins a line, or text.size().
// `before` is the byte before text[0].
std::size_t NextLeadingDot(std::string_view text, std::size_t from, char before) {
  while (from < text.size()) {
    const void* found = std::memchr(text.data() + from, '.', text.size() - from);
    if (found == nullptr) break;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    if (EndsLine(at == 0 ? before : text[at - 1])) return at;
    from = at + 1;
  }
  return text.size();
}

std::size_t CountLeadingDots(std::string_view text, char before) {
  std::size_t count = 0;
  for (std::size_t at = NextLeadingDot(text, 0, before); at < text.size();
       at = NextLeadingDot(text, at + 1, before))
    ++count;
  return count;
}

}  // namespace

DataTextReader::DataTextReader(std::string_view header, std::string_view body)
    : header_(header), body_(body) {
  // The k-th byte from the end of the two taken together, or NUL before their start.
  auto fromEnd = [&](std::size_t k) {
    if (k <= body.size()) return body[body.size() - k];
    k -= body.size();
    return k <= header.size() ? header[header.size() - k] : '\0';
  };
  const bool empty = header.empty() && body.empty();
  const bool endsWithLineEnd = empty || (fromEnd(2) == '\r' && fromEnd(1) == '\n');
  tail_ = kLineEndAndEndOfData.substr(endsWithLineEnd ? 2 : 0);
  const char headerLast = header.empty() ? '\n' : header.back();
  total_ = header.size() + body.size() + CountLeadingDots(header, '\n') +
           CountLeadingDots(body, headerLast) + tail_.size();
  nextDot_ = NextLeadingDot(header_, 0, '\n');
}

std::size_t DataTextReader::Read(char* out, std::size_t room) {
  std::size_t written = 0;
  while (written < room && part_ < 2) {
    const std::string_view text = Current();
    if (position_ == text.size()) {
      ++part_;
      position_ = 0;
      dotWritten_ = false;
      if (part_ == 1) nextDot_ = NextLeadingDot(body_, 0, previous_);
      continue;
    }
    if (position_ == nextDot_ && !dotWritten_) {
      out[written++] = '.';
      dotWritten_ = true;
      continue;
    }
    // The dot at position_ has had its extra one: the next such dot lies further on.
    if (position_ == nextDot_) nextDot_ = NextLeadingDot(text, position_ + 1, previous_);
    // Up to that dot, which may lie beyond this read.
    const std::size_t stop = std::min(nextDot_, position_ + (room - written));
    std::memcpy(out + written, text.data() + position_, stop - position_);
    written += stop - position_;
    previous_ = text[stop - 1];
    position_ = stop;
    dotWritten_ = false;
  }
  if (part_ == 2 && written < room) {
    const std::size_t count = std::min(room - written, tail_.size() - position_);
    std::memcpy(out + written, tail_.data() + position_, count);
    position_ += count;
    written += count;
  }
  return written;
}

std::string MakeDataText(std::string_view message) {
  DataTextReader reader({}, message);
  std::string data(reader.TotalSize(), '\0');
  data.resize(reader.Read(data.data(), data.size()));
  return data;
}

}  // namespace MailVrex
