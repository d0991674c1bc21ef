// Header texts as the message writes them: tokens and identifiers that no byte
// can end or split, words packed so that no line grows beyond what mail
// servers accept, and the reverse for reading names back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace MailVrex {

// Servers refuse or cut longer lines (RFC 5322 2.1.1), excluding CR LF.
inline constexpr std::size_t kMaxLineLength = 998;
// Longest encoded word RFC 2047 allows; a packed word that fits stays whole.
inline constexpr std::size_t kMaxEncodedWordLength = 75;

// Every byte up to the space dropped, for a token that no byte may end or
// split, such as the host name in a message identifier.
std::string CleanToken(std::string_view token);

// A Content-ID ("<" id ">") for a file name: bytes that may stand in a
// message identifier kept, every other byte (and "%") written "%" and two
// hexadecimal digits, so the identifier is one token and two names never
// share one.
std::string ContentIdOf(std::string_view name);

// Control bytes (below 0x20) dropped: for texts such as content types that
// are written as given and must not end a header line early.
std::string WithoutControlBytes(std::string_view text);

// PackHeaderWord's result when it is plain text of reasonable length or one
// encoded word of at most 75 characters; otherwise several encoded words
// separated by a blank, each short enough for folding at 72 columns, cut only
// between whole characters (escapes and double-byte characters stay whole).
// A charset that is not a MIME token raises MailError once it is needed.
std::string PackHeaderText(std::string_view value, std::string_view charset);

// UnpackHeaderWords after removing the blanks between adjacent encoded words,
// which RFC 2047 says belong to neither word.
std::string UnpackHeaderText(std::string_view value);

// Breaks every line of a folded header block that is still longer than
// kMaxLineLength at its last blank within the limit, also inside quotes
// (where folding white space is allowed as well); lines that fit stay as
// they are. Each line of the block ends with CR LF.
std::string FoldOverlongLines(std::string block);

}  // namespace MailVrex
