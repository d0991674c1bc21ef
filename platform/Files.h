// Whole-file reads of attachments.
#pragma once

#include <string>

namespace platform {

// The file's bytes; the path is a byte text in the ANSI code page. Throws
// std::runtime_error naming the file when it cannot be opened or read.
std::string ReadWholeFile(const std::string& path);

}  // namespace platform
