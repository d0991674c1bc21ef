// Quoted-printable: a body encoder with soft breaks, a one-line header encoder
// for encoded words, and the decoder.
#pragma once

#include <string>
#include <string_view>

namespace MailVrex {

// headerMode escapes also control bytes, space, '"' and '_' and never breaks
// the line. Body mode (RFC 2045 section 6.7) writes each CR LF pair of the
// data as a line break, escapes every other control byte but TAB, and a space
// or TAB that ends a line, and inserts "=\r\n" once a line reaches 72
// columns: QPToText gives back every byte.
std::string TextToQP(std::string_view data, bool headerMode);

// Upper-case escapes only; malformed escapes stay in the text.
std::string QPToText(std::string_view encoded);

}  // namespace MailVrex
