// The client socket on Windows: Winsock 1.1 with WSAAsyncSelect notifications and
// WSAAsyncGetHostByName lookups, both posted to the thread's message-only window.
#include "platform/Socket.h"

#include <winsock2.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/win32/MessageWindow.h"

namespace platform {

namespace {

constexpr WORD WinsockVersion11 = 0x0101;
constexpr SOCKET NoSocket = ~SOCKET{0};
constexpr long Notifications = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

int LowWord(LPARAM value) {
  return static_cast<int>(value & 0xFFFF);
}
int HighWord(LPARAM value) {
  return static_cast<int>((value >> 16) & 0xFFFF);
}

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

std::string Describe(int code, const char* during) {
  return "Windows socket error " + std::to_string(code) + " on " + during;
}

}  // namespace

struct ClientSocket::Impl {
  enum class State { Closed, LookingUp, Connecting, Open };

  Impl(ClientSocket& self, win32::MessageWindow& messageWindow)
      : owner(self), window(messageWindow) {
    WSADATA data;
    const int status = ::WSAStartup(WinsockVersion11, &data);
    if (status != 0) {
      win32::MessageWindow::Release(window);
      throw SocketError(Describe(status, "WSAStartup"), status);
    }
    socketMessage = window.RegisterMessage([this](WPARAM w, LPARAM l) { OnSocketMessage(w, l); });
    lookupMessage = window.RegisterMessage([this](WPARAM w, LPARAM l) { OnLookupMessage(w, l); });
  }

  ~Impl() {
    CloseHandle(false);
    window.UnregisterMessage(socketMessage);
    window.UnregisterMessage(lookupMessage);
    ::WSACleanup();
    win32::MessageWindow::Release(window);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void Open() {
    if (state != State::Closed) return;
    handle = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (handle == NoSocket) Throw(::WSAGetLastError(), "socket");
    if (::WSAAsyncSelect(handle, window.Handle(), socketMessage, Notifications) != 0) {
      const int error = ::WSAGetLastError();
      CloseHandle(false);
      Throw(error, "WSAAsyncSelect");
    }
    if (!address.empty()) {
      in_addr target{};
      target.s_addr = ::inet_addr(address.c_str());
      ConnectTo(target);
      return;
    }
    if (host.empty()) {
      CloseHandle(false);
      throw SocketError("no host or address to connect to", WSAEDESTADDRREQ);
    }
    lookupBuffer = std::make_unique<char[]>(MAXGETHOSTSTRUCT);
    lookup = ::WSAAsyncGetHostByName(window.Handle(), lookupMessage, host.c_str(),
                                     lookupBuffer.get(), MAXGETHOSTSTRUCT);
    if (lookup == nullptr) {
      const int error = ::WSAGetLastError();
      CloseHandle(false);
      Throw(error, "WSAAsyncGetHostByName");
    }
    state = State::LookingUp;
  }

  void OnLookupMessage(WPARAM wParam, LPARAM lParam) {
    if (state != State::LookingUp || reinterpret_cast<HANDLE>(wParam) != lookup) return;
    lookup = nullptr;
    const int error = HighWord(lParam);
    const auto* found = reinterpret_cast<const hostent*>(lookupBuffer.get());
    if (error != 0 || found->h_addr_list == nullptr || found->h_addr_list[0] == nullptr) {
      CloseHandle(false);
      ReportError(SocketErrorKind::Lookup, error != 0 ? error : WSAHOST_NOT_FOUND);
      return;
    }
    in_addr target{};
    std::memcpy(&target, found->h_addr_list[0], sizeof target);
    ConnectTo(target);
  }

  void ConnectTo(in_addr target) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = ::htons(static_cast<u_short>(port));
    peer.sin_addr = target;
    state = State::Connecting;
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return;
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return;  // FD_CONNECT tells the outcome
    CloseHandle(false);
    ReportError(SocketErrorKind::Connect, error);
  }

  void OnSocketMessage(WPARAM wParam, LPARAM lParam) {
    if (static_cast<SOCKET>(wParam) != handle) return;  // queued for a socket since closed
    const int error = HighWord(lParam);
    switch (LowWord(lParam)) {
      case FD_CONNECT:
        return Connected(error);
      case FD_READ:
        if (state != State::Open) return;
        if (error != 0) return FailOpen(SocketErrorKind::Receive, error);
        if (owner.OnRead) owner.OnRead(owner);
        return;
      case FD_WRITE:
        if (state != State::Open) return;
        if (error != 0) return FailOpen(SocketErrorKind::Send, error);
        if (owner.OnWrite) owner.OnWrite(owner);
        return;
      case FD_CLOSE:
        return PeerClosed(error);
      default:
        return;
    }
  }

  void Connected(int error) {
    if (state != State::Connecting) return;
    if (error != 0) {
      CloseHandle(false);
      ReportError(SocketErrorKind::Connect, error);
      return;
    }
    state = State::Open;
    // Commands are small and answered one at a time: none may wait for a delayed ACK.
    const BOOL on = TRUE;
    ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (owner.OnConnect) owner.OnConnect(owner);
  }

  void PeerClosed(int error) {
    if (state != State::Open) return;
    // Data that came with the close is read first, as on every other platform.
    if (error == 0 && Pending() > 0 && owner.OnRead) owner.OnRead(owner);
    if (state != State::Open) return;
    CloseHandle(false);
    if (error != 0) ReportError(SocketErrorKind::Disconnect, error);
    if (owner.OnDisconnect) owner.OnDisconnect(owner);
  }

  void FailOpen(SocketErrorKind kind, int error) {
    CloseHandle(false);
    ReportError(kind, error);
    if (owner.OnDisconnect) owner.OnDisconnect(owner);
  }

  bool CloseHandle(bool notify) {
    const bool wasOpen = state == State::Open;
    if (lookup != nullptr) {
      ::WSACancelAsyncRequest(lookup);
      lookup = nullptr;
      // The lookup may still be writing into its buffer: keep it until the socket is freed.
      abandonedBuffers.push_back(std::move(lookupBuffer));
    }
    if (handle != NoSocket) ::closesocket(handle);
    handle = NoSocket;
    state = State::Closed;
    if (notify && wasOpen && owner.OnDisconnect) owner.OnDisconnect(owner);
    return wasOpen;
  }

  std::size_t Pending() const {
    u_long count = 0;
    if (handle == NoSocket || ::ioctlsocket(handle, FIONREAD, &count) != 0) return 0;
    return count;
  }

  std::size_t Receive(char* buffer, std::size_t count) {
    if (state != State::Open) return 0;
    const int got =
        ::recv(handle, buffer, static_cast<int>(std::min<std::size_t>(count, INT_MAX)), 0);
    if (got >= 0) return static_cast<std::size_t>(got);
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) FailOpen(SocketErrorKind::Receive, error);
    return 0;
  }

  std::ptrdiff_t Send(std::string_view data) {
    if (state != State::Open) return 0;
    const int size = static_cast<int>(std::min<std::size_t>(data.size(), INT_MAX));
    const int sent = ::send(handle, data.data(), size, 0);
    if (sent >= 0) return sent;
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) FailOpen(SocketErrorKind::Send, error);
    return -1;
  }

  bool WaitWritable(int milliseconds) {
    if (state != State::Open) return true;
    fd_set writable{};
    writable.fd_count = 1;
    writable.fd_array[0] = handle;
    fd_set failed = writable;
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::select(0, nullptr, &writable, &failed, milliseconds < 0 ? nullptr : &limit) != 0;
  }

  void ReportError(SocketErrorKind kind, int code) {
    int left = code;
    if (owner.OnError) owner.OnError(owner, kind, left);
    if (left != 0) throw SocketError(Describe(left, NameOfKind(kind)), left);
  }

  [[noreturn]] static void Throw(int code, const char* during) {
    throw SocketError(Describe(code, during), code);
  }

  ClientSocket& owner;
  win32::MessageWindow& window;
  std::string host;
  std::string address;
  int port = 0;
  SOCKET handle = NoSocket;
  State state = State::Closed;
  UINT socketMessage = 0;
  UINT lookupMessage = 0;
  HANDLE lookup = nullptr;
  std::unique_ptr<char[]> lookupBuffer;
  std::vector<std::unique_ptr<char[]>> abandonedBuffers;
};

ClientSocket::ClientSocket()
    : impl_(std::make_unique<Impl>(*this, win32::MessageWindow::Acquire())) {}

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
  if (impl_->handle == NoSocket) return {};
  char name[256] = {};
  if (::gethostname(name, sizeof name) != 0) return {};
  name[sizeof name - 1] = '\0';
  return name;
}

std::string ClientSocket::LocalAddress() {
  if (impl_->handle == NoSocket) return {};
  sockaddr_in local{};
  int size = sizeof local;
  if (::getsockname(impl_->handle, reinterpret_cast<sockaddr*>(&local), &size) != 0) return {};
  const char* text = ::inet_ntoa(local.sin_addr);
  return text != nullptr ? text : "";
}

}  // namespace platform
