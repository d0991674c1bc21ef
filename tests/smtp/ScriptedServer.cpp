// The scripted test server, with blocking sockets and select() so that it runs unchanged on
// Windows and POSIX systems.
#include "tests/smtp/ScriptedServer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using NativeSocket = SOCKET;
using Length = int;
constexpr int NoSignal = 0;
constexpr int BothWays = SD_BOTH;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
using Length = socklen_t;
constexpr int NoSignal = MSG_NOSIGNAL;  // a peer that closed must not kill the test program
constexpr int BothWays = SHUT_RDWR;
#endif

#include <stdexcept>
#include <string_view>

namespace pellam_test {

namespace {

NativeSocket Native(std::intptr_t handle) {
  return static_cast<NativeSocket>(handle);
}

void CloseNative(std::intptr_t& handle) {
  if (handle == -1) return;
#ifdef _WIN32
  ::closesocket(Native(handle));
#else
  ::close(Native(handle));
#endif
  handle = -1;
}

// Winsock needs starting once per user; POSIX needs nothing.
class SocketLibrary {
 public:
  SocketLibrary() {
#ifdef _WIN32
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
  }
  ~SocketLibrary() {
#ifdef _WIN32
    ::WSACleanup();
#endif
  }
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};

const SocketLibrary library;

std::intptr_t ListenOnLoopback(int receiveBuffer, int& port, int backlog = 1) {
  const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (static_cast<std::intptr_t>(s) == -1) throw std::runtime_error("test server: no socket");
  if (receiveBuffer > 0) {
    // Set before listen, so that the accepted connection inherits it.
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                 sizeof receiveBuffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  Length size = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, backlog) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::intptr_t handle = static_cast<std::intptr_t>(s);
    CloseNative(handle);
    throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return static_cast<std::intptr_t>(s);
}

constexpr auto PollStep = std::chrono::milliseconds(20);
constexpr auto WaitLimit = std::chrono::seconds(10);

}  // namespace

ScriptedServer::ScriptedServer(int receiveBuffer) {
  listener_ = ListenOnLoopback(receiveBuffer, port_);
}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  // Unblocks a send to a client that no longer reads.
  if (connection_ != -1) ::shutdown(Native(connection_), BothWays);
  if (thread_.joinable()) thread_.join();
  std::intptr_t connection = connection_;
  CloseNative(connection);
  CloseNative(listener_);
}

int ScriptedServer::UnusedPort() {
  int port = 0;
  std::intptr_t handle = ListenOnLoopback(0, port);
  CloseNative(handle);
  return port;
}

ScriptedServer& ScriptedServer::Send(std::string text) {
  steps_.push_back([this, text = std::move(text)] { return SendAll(text); });
  return *this;
}

ScriptedServer& ScriptedServer::SendRepeated(std::string chunk, std::size_t times) {
  steps_.push_back([this, chunk = std::move(chunk), times] {
    for (std::size_t i = 0; i < times; ++i) {
      if (!SendAll(chunk)) return false;
    }
    return true;
  });
  return *this;
}

ScriptedServer& ScriptedServer::ReadLine() {
  return ReadUntil("\n");
}

ScriptedServer& ScriptedServer::ReadUntil(std::string terminator) {
  steps_.push_back([this, terminator = std::move(terminator)] {
    return ReadWhile([this, &terminator](std::string_view unread) {
      const auto at = unread.find(terminator);
      if (at == std::string::npos) return true;
      consumed_ += at + terminator.size();
      return false;
    });
  });
  return *this;
}

ScriptedServer& ScriptedServer::ReadBytes(std::size_t count) {
  steps_.push_back([this, count] {
    return ReadWhile([this, count](std::string_view unread) {
      if (unread.size() < count) return true;
      consumed_ += count;
      return false;
    });
  });
  return *this;
}

ScriptedServer& ScriptedServer::Answer(std::function<std::string(std::string_view line)> answer) {
  steps_.push_back([this, answer = std::move(answer)] {
    std::string line;
    const bool read = ReadWhile([this, &line](std::string_view unread) {
      const auto at = unread.find('\n');
      if (at == std::string::npos) return true;
      line = unread.substr(0, at + 1);
      consumed_ += at + 1;
      return false;
    });
    return read && SendAll(answer(line));
  });
  return *this;
}

ScriptedServer& ScriptedServer::Pause(std::chrono::milliseconds duration) {
  steps_.push_back([this, duration] {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!stop_ && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(PollStep / 4);
    return !stop_;
  });
  return *this;
}

ScriptedServer& ScriptedServer::Close() {
  steps_.push_back([this] {
    std::intptr_t connection = connection_.exchange(-1);
    CloseNative(connection);
    return false;
  });
  return *this;
}

ScriptedServer& ScriptedServer::StopReading() {
  steps_.push_back([this] {
    while (!stop_) std::this_thread::sleep_for(PollStep);
    return false;
  });
  return *this;
}

void ScriptedServer::Start() {
  thread_ = std::thread([this] { Play(); });
}

void ScriptedServer::Play() {
  while (!stop_ && connection_ == -1) {
    if (!Readable(static_cast<int>(PollStep.count()))) continue;
    connection_ = static_cast<std::intptr_t>(::accept(Native(listener_), nullptr, nullptr));
  }
  bool alive = !stop_;
  for (const auto& step : steps_) {
    if (!alive) break;
    alive = step();
  }
  {
    std::lock_guard lock(mutex_);
    scriptDone_ = true;
  }
  changed_.notify_all();
  while (alive && ReadMore()) {
  }
}

bool ScriptedServer::Readable(int milliseconds) {
  const std::intptr_t handle = connection_ != -1 ? connection_.load() : listener_;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Native(handle), &set);
  timeval limit{0, milliseconds * 1000};
  return ::select(static_cast<int>(handle + 1), &set, nullptr, nullptr, &limit) > 0;
}

bool ScriptedServer::ReadMore() {
  while (!stop_) {
    if (!Readable(static_cast<int>(PollStep.count()))) continue;
    char buffer[65536];
    const auto got = ::recv(Native(connection_), buffer, sizeof buffer, 0);
    std::lock_guard lock(mutex_);
    if (got <= 0) {
      peerClosed_ = true;
      changed_.notify_all();
      return false;
    }
    received_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }
  return false;
}

bool ScriptedServer::ReadWhile(const std::function<bool(std::string_view unread)>& wanting) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (!wanting(std::string_view(received_).substr(consumed_))) return true;
    }
    if (!ReadMore()) return false;
  }
}

bool ScriptedServer::SendAll(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size() && !stop_) {
    const auto sent = ::send(Native(connection_), text.data() + done,
                             static_cast<int>(text.size() - done), NoSignal);
    if (sent <= 0) return false;
    done += static_cast<std::size_t>(sent);
  }
  return done == text.size();
}

bool ScriptedServer::WaitScriptDone() {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, WaitLimit, [this] { return scriptDone_; });
}

std::string ScriptedServer::Received() {
  WaitScriptDone();
  std::lock_guard lock(mutex_);
  return received_;
}

bool ScriptedServer::WaitPeerClosed() {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, WaitLimit, [this] { return peerClosed_; });
}

StalledListener::StalledListener() {
  listener_ = ListenOnLoopback(0, port_, 0);
  const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
  filler_ = static_cast<std::intptr_t>(s);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  if (filler_ == -1 ||
      ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    CloseNative(filler_);
    CloseNative(listener_);
    throw std::runtime_error("test server: cannot fill the listener's queue");
  }
}

StalledListener::~StalledListener() {
  CloseNative(filler_);
  CloseNative(listener_);
}

}  // namespace pellam_test
