// The canonical line ends of mail text (RFC 5321 section 2.3.8): a CR only before an LF, an LF
// only after a CR.
#pragma once

#include <string>
#include <string_view>

namespace MailVrex {

// Every CR LF pair, lone CR and lone LF becomes one CR LF, so an LF CR gives two line breaks.
// No trail byte of a double-byte code page is a CR or an LF, so a lead byte before a line
// break is a byte of its own and the break is seen: the text is read byte by byte.
std::string EveryLineBreakAsCrLf(std::string_view text);

}  // namespace MailVrex
