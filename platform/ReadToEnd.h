// The fill loop that both systems' whole-file reads share.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace platform {

// Reads through readSome (which fills up to the given count, returns the
// count read, 0 at the end, and throws on failure) until the end. The
// expected size is a hint only: a source that grows or shrinks meanwhile is
// still read to its end. Reading into the sized string first keeps large
// attachments to a single allocation.
std::string ReadToEnd(std::size_t expected,
                      const std::function<std::size_t(char* target, std::size_t room)>& readSome);

}  // namespace platform
