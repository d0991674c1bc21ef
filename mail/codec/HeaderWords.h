// Encoded words ("=?charset?Q?text?=") in header values.
#pragma once

#include <string>
#include <string_view>

namespace MailVrex {

// The value unchanged when it is plain printable ASCII, otherwise the whole
// value as one "Q" encoded word in the given charset.
std::string PackHeaderWord(std::string_view value, std::string_view charset);

// Decodes every "B", "Q" and "U" encoded word; charsets are dropped and no
// conversion between character sets is made.
std::string UnpackHeaderWords(std::string_view value);

}  // namespace MailVrex
