// A host name lookup that runs on a helper thread and signals its end through a pipe, so that
// the thread's poll() loop learns of it without blocking.
#pragma once

#include <netinet/in.h>

#include <memory>
#include <mutex>
#include <string>

namespace platform::posix {

class NameLookup {
 public:
  // Throws std::runtime_error when the pipe or the helper thread cannot be created.
  static std::shared_ptr<NameLookup> Start(const std::string& name);
  ~NameLookup();
  NameLookup(const NameLookup&) = delete;
  NameLookup& operator=(const NameLookup&) = delete;

  // Readable once the lookup has ended.
  int Fd() const { return readFd_; }
  // The first IPv4 address found; false with a non-zero error code when there is none.
  bool Result(in_addr& address, int& error);

 private:
  NameLookup() = default;
  static void Run(std::shared_ptr<NameLookup> self, std::string name);

  int readFd_ = -1;
  int writeFd_ = -1;
  std::mutex mutex_;
  bool done_ = false;
  int error_ = 0;
  in_addr address_{};
};

}  // namespace platform::posix
