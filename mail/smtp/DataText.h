// The text that follows DATA: the message with SMTP transparency (RFC 5321 section 4.5.2) and the
// end-of-data line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace MailVrex {

// Every line of the message that begins with "." gets one more "."; a last line without CR LF
// gets one; then "." CR LF ends the data. A line begins at the start of the text and after every
// LF or lone CR, so that no server, whichever line ends it honours, can find an end-of-data line
// inside the text.
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
  std::size_t Read(char* out, std::size_t room);

 private:
  std::string_view Current() const { return part_ == 0 ? header_ : body_; }

  std::string_view header_;
  std::string_view body_;
  std::size_t total_ = 0;
  std::string_view tail_;  // the line end the text lacks, if any, and the end-of-data line
  int part_ = 0;           // 0 header, 1 body, 2 tail
  std::size_t position_ = 0;
  std::size_t nextDot_ = 0;  // in the current part: the next dot that gets another one
  bool dotWritten_ = false;  // the extra dot at position_ has been written
  char previous_ = '\n';     // the byte before position_: the text begins a line
};

// The whole data text of one message text at once.
std::string MakeDataText(std::string_view message);

}  // namespace MailVrex
