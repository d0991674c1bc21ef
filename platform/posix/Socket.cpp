// The client socket on POSIX systems: a non-blocking TCP socket watched by the thread's poll()
// loop, delivering the same notifications, in the same order, as the Windows socket layer.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/NameLookup.h"
#include "platform/posix/ThreadLoop.h"

namespace platform {

namespace {

const char* NameOfKind(SocketErrorKind kind) {
  switch (kind) {
    case SocketErrorKind::General:
      return "general";
    case SocketErrorKind::Send:
      return "send";
    case SocketErrorKind::Receive:
      return "receive";
    case SocketErrorKind::Connect:
      return "connect";
    case SocketErrorKind::Disconnect:
      return "disconnect";
    case SocketErrorKind::Accept:
      return "accept";
    case SocketErrorKind::Lookup:
      return "lookup";
  }
  return "general";
}

}  // namespace

struct ClientSocket::Impl final : posix::PollSource {
  enum class State { Closed, LookingUp, Connecting, Open };

  Impl(ClientSocket& self, posix::ThreadLoop& threadLoop) : owner(self), loop(threadLoop) {
    loop.Add(this);
  }
  ~Impl() override {
    CloseHandle(false);
    loop.Remove(this);
    posix::ThreadLoop::Release(loop);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  int PollFd() const override {
    if (state == State::LookingUp) return lookup->Fd();
    return state == State::Closed ? -1 : fd;
  }

  short PollEvents() const override {
    switch (state) {
      case State::LookingUp:
        return POLLIN;
      case State::Connecting:
        return POLLOUT;
      case State::Open:
        return static_cast<short>((readArmed ? POLLIN : 0) | POLLRDHUP | (wantWrite ? POLLOUT : 0));
      case State::Closed:
        break;
    }
    return 0;
  }

  bool HandlePoll(short revents) override {
    switch (state) {
      case State::LookingUp:
        return LookupEnded();
      case State::Connecting:
        return ConnectEnded();
      case State::Open:
        return HandleOpen(revents);
      case State::Closed:
        break;
    }
    return false;
  }

  void Open() {
    if (state != State::Closed) return;
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw SocketError(Describe(errno, "socket"), errno);
    if (!address.empty()) {
      in_addr target{};
      target.s_addr = ::inet_addr(address.c_str());
      ConnectTo(target);
      return;
    }
    if (host.empty()) {
      CloseHandle(false);
      throw SocketError("no host or address to connect to", EDESTADDRREQ);
    }
    try {
      lookup = posix::NameLookup::Start(host);
    } catch (const std::exception& e) {
      CloseHandle(false);
      throw SocketError(e.what(), EAGAIN);
    }
    state = State::LookingUp;
  }

  bool LookupEnded() {
    in_addr target{};
    int error = 0;
    const bool found = lookup->Result(target, error);
    lookup.reset();
    if (!found) {
      CloseHandle(false);
      ReportError(SocketErrorKind::Lookup, error);
      return true;
    }
    ConnectTo(target);
    return true;
  }

  void ConnectTo(in_addr target) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    peer.sin_addr = target;
    state = State::Connecting;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 ||
        errno == EINPROGRESS) {
      return;  // poll() reports the outcome, so that it always arrives as a notification
    }
    const int error = errno;
    CloseHandle(false);
    ReportError(SocketErrorKind::Connect, error);
  }

  bool ConnectEnded() {
    const int error = PendingError();
    if (error != 0) {
      CloseHandle(false);
      ReportError(SocketErrorKind::Connect, error);
      return true;
    }
    state = State::Open;
    readArmed = true;
    // Commands are small and answered one at a time: none may wait for a delayed ACK.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (owner.OnConnect) owner.OnConnect(owner);
    return true;
  }

  bool HandleOpen(short revents) {
    // Data first, so that a reply sent just before the peer closed is read before the close.
    if (readArmed && (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) != 0) {
      if (Pending() > 0) {
        readArmed = false;  // armed again by the next Receive, as Winsock re-enables FD_READ
        if (owner.OnRead) owner.OnRead(owner);
        return true;
      }
      PeerClosed();
      return true;
    }
    if ((revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
      PeerClosed();
      return true;
    }
    if (wantWrite && (revents & POLLOUT) != 0) {
      wantWrite = false;
      if (owner.OnWrite) owner.OnWrite(owner);
      return true;
    }
    return false;
  }

  void PeerClosed() {
    const int error = PendingError();
    CloseHandle(false);
    if (error != 0) ReportError(SocketErrorKind::Disconnect, error);
    if (owner.OnDisconnect) owner.OnDisconnect(owner);
  }

  // Closes the descriptor and abandons a lookup under way; true when a connection was open.
  bool CloseHandle(bool notify) {
    const bool wasOpen = state == State::Open;
    if (fd >= 0) ::close(fd);
    fd = -1;
    lookup.reset();
    state = State::Closed;
    wantWrite = false;
    if (notify && wasOpen && owner.OnDisconnect) owner.OnDisconnect(owner);
    return wasOpen;
  }

  std::size_t Pending() const {
    int count = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &count) != 0 || count < 0) return 0;
    return static_cast<std::size_t>(count);
  }

  std::size_t Receive(char* buffer, std::size_t count) {
    if (state != State::Open) return 0;
    readArmed = true;
    for (;;) {
      const auto got = ::recv(fd, buffer, count, 0);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      FailOpen(SocketErrorKind::Receive, errno);
      return 0;
    }
  }

  std::ptrdiff_t Send(std::string_view data) {
    if (state != State::Open) return 0;
    for (;;) {
      const auto sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
      if (sent >= 0) return sent;
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wantWrite = true;
        return -1;
      }
      FailOpen(SocketErrorKind::Send, errno);
      return -1;
    }
  }

  bool WaitWritable(int milliseconds) {
    if (state != State::Open) return true;
    pollfd entry{fd, POLLOUT, 0};
    return ::poll(&entry, 1, milliseconds < 0 ? -1 : milliseconds) != 0;
  }

  // An open connection failed: report the error, then the close.
  void FailOpen(SocketErrorKind kind, int error) {
    CloseHandle(false);
    ReportError(kind, error);
    if (owner.OnDisconnect) owner.OnDisconnect(owner);
  }

  int PendingError() const {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
  }

  void ReportError(SocketErrorKind kind, int code) {
    int left = code;
    if (owner.OnError) owner.OnError(owner, kind, left);
    if (left != 0) throw SocketError(Describe(left, NameOfKind(kind)), left);
  }

  static std::string Describe(int code, const char* during) {
    return std::string("socket error ") + std::to_string(code) + " (" + std::strerror(code) +
           ") on " + during;
  }

  ClientSocket& owner;
  posix::ThreadLoop& loop;
  std::string host;
  std::string address;
  int port = 0;
  int fd = -1;
  State state = State::Closed;
  bool readArmed = true;
  bool wantWrite = false;
  std::shared_ptr<posix::NameLookup> lookup;
};

ClientSocket::ClientSocket() : impl_(std::make_unique<Impl>(*this, posix::ThreadLoop::Acquire())) {}

ClientSocket::~ClientSocket() = default;

void ClientSocket::SetHost(std::string_view name) {
  impl_->host = name;
}
void ClientSocket::SetAddress(std::string_view dotted) {
  impl_->address = dotted;
}
void ClientSocket::SetPort(int port) {
  impl_->port = port;
}
const std::string& ClientSocket::Host() const {
  return impl_->host;
}
const std::string& ClientSocket::Address() const {
  return impl_->address;
}
int ClientSocket::Port() const {
  return impl_->port;
}

void ClientSocket::Open() {
  impl_->Open();
}
void ClientSocket::Close() {
  impl_->CloseHandle(true);
}
bool ClientSocket::Active() const {
  return impl_->state == Impl::State::Open;
}

std::size_t ClientSocket::PendingCount() {
  return impl_->Pending();
}

std::size_t ClientSocket::Receive(char* buffer, std::size_t count) {
  return impl_->Receive(buffer, count);
}

std::ptrdiff_t ClientSocket::Send(std::string_view data) {
  return impl_->Send(data);
}

bool ClientSocket::WaitWritable(int milliseconds) {
  return impl_->WaitWritable(milliseconds);
}

std::string ClientSocket::LocalHost() {
  if (impl_->fd < 0) return {};
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string ClientSocket::LocalAddress() {
  if (impl_->fd < 0) return {};
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (::getsockname(impl_->fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) return {};
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
  return text;
}

}  // namespace platform
