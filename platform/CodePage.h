// The system's ANSI code page as far as the mail library needs it: which bytes
// begin a double-byte character.
#pragma once

namespace platform {

// Windows asks the ANSI code page; elsewhere 0x81 to 0xFE count as lead bytes,
// as in the double-byte code pages the default charset stands for.
bool IsLeadByte(unsigned char b);

}  // namespace platform
