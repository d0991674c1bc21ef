// Whole-file reads with the Windows file API, straight into the result string.
#include "platform/Files.h"

#include "platform/ReadToEnd.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace platform {
namespace {

std::string SystemMessage(DWORD error) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message =
      length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}

[[noreturn]] void Fail(const std::string& path, const char* what, DWORD error) {
  throw std::runtime_error("Cannot " + std::string(what) + " file \"" + path +
                           "\": " + SystemMessage(error));
}

// Closes the handle on every exit path; errors of closing are of no use here.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  if (path.find('\0') != std::string::npos) Fail(path, "open", ERROR_INVALID_NAME);
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) Fail(path, "open", GetLastError());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) Fail(path, "read", GetLastError());

  const auto expected = static_cast<std::size_t>(size.QuadPart > 0 ? size.QuadPart : 0);
  return ReadToEnd(expected, [&](char* target, std::size_t room) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), target, static_cast<DWORD>(std::min<std::size_t>(room, 1u << 30)),
                  &got, nullptr))
      Fail(path, "read", GetLastError());
    return static_cast<std::size_t>(got);
  });
}

bool IsExistingFile(const std::string& path) {
  if (path.find('\0') != std::string::npos) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace platform
