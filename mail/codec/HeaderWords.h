// Encoded words ("=?charset?Q?text?=") in header values.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace MailVrex {

// The value unchanged when it is printable ASCII that a reader takes as it
// stands: no "=?" that could pass for the start of an encoded word and no
// blank at either end, which header lines lose. Otherwise the whole value as
// one "Q" encoded word in the given charset, which must be a MIME token
// (MailError otherwise).
std::string PackHeaderWord(std::string_view value, std::string_view charset);

// Appends bytes as the text of a "Q" word: letters, digits and "!*+-/" (the
// set RFC 2047 5(3) allows everywhere a word may stand) as they are, every
// other byte as "=" and two hexadecimal digits. The text then holds no "?",
// blank, quote, comma or semicolon: nothing ends the word early, nothing is
// taken for a fold point or for the syntax around it.
void AppendQWordText(std::string& out, std::string_view bytes);
std::size_t QWordTextLength(std::string_view bytes);

// Decodes every "B", "Q" and "U" encoded word; charsets are dropped and no
// conversion between character sets is made. Decoded text is never read
// again as the start of another word.
std::string UnpackHeaderWords(std::string_view value);

}  // namespace MailVrex
