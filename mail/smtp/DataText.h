// The text that follows DATA: the message with canonical line ends (RFC 5321 section 2.3.8), SMTP
// transparency (section 4.5.2) and the end-of-data line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace MailVrex {

// Every line break of the message, a CR LF, a lone CR or a lone LF, goes out as one CR LF; every
// line that begins with "." gets one more "."; a last line without a line break gets one; then
// "." CR LF ends the data. Receivers take line breaks and dots only at CR LF, so what they keep
// is the message with canonical line ends, and no end-of-data line can stand inside it.
//
// The message is read in place as a header and a body that follow each other, so that a large
// message is never held a second time: Read hands the data text out in pieces of any size.
class DataTextReader {
 public:
  DataTextReader(std::string_view header, std::string_view body);

  // The size of the whole data text.
  std::size_t TotalSize() const { return total_; }
  // Writes up to `room` bytes of the data text that follow what was read; returns the count,
  // 0 at the end.
  std::size_t Read(char* out, std::size_t room) { return Produce(out, room); }

 private:
  // Read, or with a null `out` only counted.
  std::size_t Produce(char* out, std::size_t room);
  // The header and the body taken as one text.
  char At(std::size_t at) const;
  std::string_view RunFrom(std::size_t at) const;
  std::size_t Find(char wanted, std::size_t from) const;
  // The next lone CR, lone LF or dot that begins a line, at or after `from`.
  std::size_t NextToChange(std::size_t from);

  std::string_view header_;
  std::string_view body_;
  std::size_t size_ = 0;
  std::size_t total_ = 0;
  std::size_t at_ = 0;     // the next byte of the message to take
  std::string_view owed_;  // a line break, a doubled dot or the end of data still to write
  bool ended_ = false;     // the end-of-data line is owed or written
  // The next CR, LF and dot at or after some earlier position, or size_.
  std::size_t nextCr_ = 0;
  std::size_t nextLf_ = 0;
  std::size_t nextDot_ = 0;
};

// The whole data text of one message text at once.
std::string MakeDataText(std::string_view message);

}  // namespace MailVrex
