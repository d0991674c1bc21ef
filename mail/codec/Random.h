// The process-wide pseudo-random generator behind boundaries and Message-IDs.
#pragma once

#include <cstdint>
#include <string>

namespace MailVrex {

// Safe to call from any thread; seeded once from the milliseconds since UTC
// midnight when the library is loaded.
std::uint32_t NextRandom();

// "boundary" followed by 8 upper-case hexadecimal digits of a fresh draw.
std::string MakeBoundaryText();

}  // namespace MailVrex
