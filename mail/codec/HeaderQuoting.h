// Quoted strings with quoted-pairs (RFC 5322 3.2.4) for names and parameter
// values, the scan that follows them through a header text, and the MIME
// token test for charset names (RFC 2045 5.1).
#pragma once

#include <string>
#include <string_view>

namespace MailVrex {

// text between double quotes, every "\" and '"' in it preceded by "\": one
// quoted string whatever the text holds.
std::string QuotedString(std::string_view text);

// The reverse for a value that is exactly one quoted string: its content with
// every quoted-pair resolved. Any other value that begins and ends with a
// double quote loses those two; anything else is returned as it is.
std::string UnquotedString(std::string_view value);

// Follows quoted strings through a text fed one character at a time, in
// order: a double quote opens one, a "\" inside takes the next character
// with it, the next double quote closes it.
class QuoteTracker {
 public:
  // True when ch belongs to a quoted string, its quotes included.
  bool Quoted(char ch);
  bool Inside() const { return inside_; }
  // True when the character last fed was syntax rather than content: a quote
  // that opened or closed, or the "\" of a quoted-pair.
  bool WasMark() const { return mark_; }

 private:
  bool inside_ = false;
  bool escaped_ = false;
  bool mark_ = false;
};

// A non-empty run of printable ASCII without blanks and without the
// tspecials ( ) < > @ , ; : \ " / [ ] ? =.
bool IsMimeToken(std::string_view text);

// Raises MailError naming the charset unless it is a MIME token: it is
// written unquoted into encoded words and between quotes into parameters.
void CheckCharset(std::string_view charset);

}  // namespace MailVrex
