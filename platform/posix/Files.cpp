// Whole-file reads with POSIX calls, straight into the result string.
#include "platform/Files.h"

#include "platform/ReadToEnd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace platform {
namespace {

[[noreturn]] void Fail(const std::string& path, const char* what, int error) {
  throw std::runtime_error("Cannot " + std::string(what) + " file \"" + path +
                           "\": " + std::strerror(error));
}

// Closes the descriptor on every exit path; errors of close are of no use here.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  if (path.find('\0') != std::string::npos) Fail(path, "open", ENOENT);
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) Fail(path, "open", errno);
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0) Fail(path, "read", errno);
  if (S_ISDIR(info.st_mode)) Fail(path, "read", EISDIR);

  const auto expected = static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 0);
  return ReadToEnd(expected, [&](char* target, std::size_t room) {
    for (;;) {
      ssize_t got = ::read(file.Get(), target, room);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) Fail(path, "read", errno);
    }
  });
}

bool IsExistingFile(const std::string& path) {
  if (path.find('\0') != std::string::npos) return false;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace platform
