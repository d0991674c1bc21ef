// The string list of the mail library: a text cut into lines and joined back
// with CR LF after every entry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace MailVrex {

// Splits at CR LF, a lone CR or a lone LF; a final line break gives no empty
// last entry, and an empty text gives no entry at all.
std::vector<std::string> SplitLines(std::string_view text);

// Every entry followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace MailVrex
