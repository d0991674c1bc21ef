// Quoted-printable: a body encoder with soft breaks, a one-line header encoder
// for encoded words, and the decoder.
#pragma once

#include <string>
#include <string_view>

namespace MailVrex {

// headerMode escapes also control bytes, space, '"' and '_' and never breaks
// the line; body mode inserts "=\r\n" once a line reaches 72 columns.
std::string TextToQP(std::string_view data, bool headerMode);

// Upper-case escapes only; malformed escapes stay in the text.
std::string QPToText(std::string_view encoded);

}  // namespace MailVrex
