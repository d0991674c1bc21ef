// Small text helpers shared by the mail library: space trimming, left padding
// and the numeric-host test.
#pragma once

#include <string>
#include <string_view>

namespace MailVrex {

// Only the space character (0x20) is removed; tabs, CR and LF remain.
std::string TrimBlanks(std::string_view s);
std::string TrimLeadingBlanks(std::string_view s);
// TrimBlanks without a copy, for line loops over large bodies.
std::string_view TrimBlanksView(std::string_view s);

// Trims leading spaces, then keeps the last width characters or prefixes pad
// until the length reaches at least width.
std::string PadLeftTo(std::string_view s, int width, std::string_view pad);

// True when every "."-separated piece is a non-empty non-negative integer.
bool IsNumericHost(std::string_view host);

}  // namespace MailVrex
