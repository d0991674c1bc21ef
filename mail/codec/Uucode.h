// The uuencode line decoder used by bodies and "U" encoded words.
#pragma once

#include <cstddef>
#include <string_view>

namespace MailVrex {

// The 6-bit value of one symbol (space and backquote give 0); throws
// MailError("UUCODE message format error") for any other invalid character.
int UuValueOfChar(char ch);

// Always writes 45 bytes to buffer (which must hold at least 45) unless the
// line is empty; returns the line's byte count, never above 45.
std::size_t UuLineToBuffer(std::string_view line, unsigned char* buffer);

}  // namespace MailVrex
