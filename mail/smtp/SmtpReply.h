// Reply-line rules of RFC 5321 section 4.2.1 that tell a finished SMTP reply from one still
// arriving.
#pragma once

#include <string_view>

namespace MailVrex {

// The line before the line end that closes `reply`; empty when `reply` does not end with CR LF.
std::string_view LastReplyLine(std::string_view reply);

// True for "ddd" or "ddd " + text: the last line of a reply. "ddd-" lines announce more lines.
bool IsFinalReplyLine(std::string_view line);

// True for "ddd-" + text: a line that more lines of the same reply follow.
bool IsContinuationLine(std::string_view line);

// A reply is complete once it ends with CR LF and its last line announces no further line. Text
// that is no reply line at all also completes it, so that a garbled answer fails the step at once
// instead of waiting for the time-out.
bool IsReplyComplete(std::string_view reply);

// The code of a final reply line, or -1 when `line` is none.
int FinalReplyCode(std::string_view line);

}  // namespace MailVrex
