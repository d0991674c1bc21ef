// The progress callback that the message stores for its owner and the socket
// conversation raises while a long message text goes out.
#pragma once

#include <cstdint>
#include <functional>

namespace MailVrex {

using TProgressEvent = std::function<void(void* sender, std::int32_t total, std::int32_t current)>;

}  // namespace MailVrex
