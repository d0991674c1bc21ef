// Runs getaddrinfo on a detached helper thread; an abandoned lookup simply finishes unseen,
// since the helper holds its own reference to the shared state and the pipe.
#include "platform/posix/NameLookup.h"

#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace platform::posix {

std::shared_ptr<NameLookup> NameLookup::Start(const std::string& name) {
  std::shared_ptr<NameLookup> lookup(new NameLookup);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("cannot start the name lookup: ") + std::strerror(errno));
  }
  lookup->readFd_ = fds[0];
  lookup->writeFd_ = fds[1];
  try {
    std::thread(&NameLookup::Run, lookup, name).detach();
  } catch (const std::system_error& e) {
    throw std::runtime_error(std::string("cannot start the name lookup: ") + e.what());
  }
  return lookup;
}

NameLookup::~NameLookup() {
  if (readFd_ >= 0) ::close(readFd_);
  if (writeFd_ >= 0) ::close(writeFd_);
}

void NameLookup::Run(std::shared_ptr<NameLookup> self, std::string name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
  {
    std::lock_guard lock(self->mutex_);
    self->done_ = true;
    if (status == 0 && found != nullptr) {
      self->address_ = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    } else {
      // getaddrinfo codes are negative; any non-zero code will do for the error notification.
      self->error_ = status == EAI_SYSTEM ? errno : (status < 0 ? -status : status);
      if (self->error_ == 0) self->error_ = EAI_NONAME < 0 ? -EAI_NONAME : EAI_NONAME;
    }
  }
  if (found != nullptr) ::freeaddrinfo(found);
  const char signal = 1;
  [[maybe_unused]] const auto written = ::write(self->writeFd_, &signal, 1);
}

bool NameLookup::Result(in_addr& address, int& error) {
  std::lock_guard lock(mutex_);
  if (!done_) {
    error = EAI_AGAIN < 0 ? -EAI_AGAIN : EAI_AGAIN;
    return false;
  }
  address = address_;
  error = error_;
  return error_ == 0;
}

}  // namespace platform::posix
