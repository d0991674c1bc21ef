// Hints for the few buffers that hold a whole attachment or message.
#pragma once

#include <string>

namespace platform {

// For a buffer whose reserved capacity the caller is about to fill: asks the
// system to provide all its pages at once, as large pages where it can.
// First touches of fresh memory, one page at a time, are what composing a
// large message mostly costs. Only a hint: does nothing for small buffers or
// where the system offers no such thing.
void PrepareLargeBuffer(std::string& buffer);

}  // namespace platform
