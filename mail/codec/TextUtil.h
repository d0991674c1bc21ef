// Small text helpers shared by the mail library: space trimming, left padding,
// ASCII case folding and the numeric-host test.
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

// Case folding of the ASCII letters only: every other byte, those of double-byte
// characters and of UTF-8 included, stays as it is.
char LowerAscii(char ch);
char UpperAscii(char ch);
std::string LowerAscii(std::string_view s);
std::string UpperAscii(std::string_view s);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view s, std::string_view prefix);
// <0, 0 or >0, bytes compared as unsigned after folding.
int CompareIgnoringAsciiCase(std::string_view a, std::string_view b);

// True when every "."-separated piece is a non-empty non-negative integer.
bool IsNumericHost(std::string_view host);

}  // namespace MailVrex
