// Whole-file reads of attachments, and the test that one exists.
#pragma once

#include <string>

namespace platform {

// The file's bytes; the path is a byte text in the ANSI code page. Throws
// std::runtime_error naming the file when it cannot be opened or read.
std::string ReadWholeFile(const std::string& path);

// True when a file, not a directory, of this name exists; a name holding a NUL names none.
bool IsExistingFile(const std::string& path);

}  // namespace platform
