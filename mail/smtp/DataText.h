// The text that follows DATA: the message with SMTP transparency (RFC 5321 section 4.5.2) and the
// end-of-data line.
#pragma once

#include <string>
#include <string_view>

namespace MailVrex {

// Every line of `message` that begins with "." gets one more "."; a last line without CR LF gets
// one; then "." CR LF ends the data. A line begins at the start of the text and after every LF or
// lone CR, so that no server, whichever line ends it honours, can find an end-of-data line inside
// the text. One pass, one copy.
std::string MakeDataText(std::string_view message);

}  // namespace MailVrex
