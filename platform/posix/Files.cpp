// Whole-file reads with POSIX calls, straight into the result string.
#include "platform/Files.h"

#include "platform/LargeBuffer.h"

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

  // The size is a hint only: a file that grows or shrinks while being read is
  // still read to its end. Reading into the sized string first keeps large
  // attachments to a single allocation.
  const auto expected = static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 0);
  std::string data;
  data.reserve(expected);
  PrepareLargeBuffer(data);
  data.resize(expected);
  std::size_t filled = 0;
  char extra[65536];
  for (;;) {
    bool intoData = filled < data.size();
    char* target = intoData ? data.data() + filled : extra;
    std::size_t room = intoData ? data.size() - filled : sizeof extra;
    ssize_t got = ::read(file.Get(), target, room);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(path, "read", errno);
    }
    if (got == 0) break;
    if (intoData) {
      filled += static_cast<std::size_t>(got);
    } else {
      data.append(extra, static_cast<std::size_t>(got));
      filled = data.size();
    }
  }
  data.resize(filled);
  return data;
}

}  // namespace platform
