// A TLS session over a real connection to one of the test servers (tls_test_servers.py) on
// 127.0.0.1, driven by the socket's notifications as the socket layer drives it.
#include "tests/platform/TlsTestLink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/EventLoop.h"

namespace pellam_test {

namespace {

std::map<std::string, int> ReadPorts() {
  std::map<std::string, int> ports;
  std::ifstream in(PELLAM_TLS_STATE);
  for (std::string line; std::getline(in, line);) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) ports[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
  }
  return ports;
}

}  // namespace

int TlsTestPort(const std::string& server) {
  static const std::map<std::string, int> ports = ReadPorts();
  const auto found = ports.find(server);
  if (found == ports.end() || found->second <= 0) {
    ADD_FAILURE() << "no TLS test server \"" << server << "\" in " PELLAM_TLS_STATE
                  << " (the CTest fixture tls_servers starts them)";
    return 0;
  }
  return found->second;
}

TlsTestLink::TlsTestLink(int port, std::string_view serverName, std::vector<std::size_t> pieces)
    : session_(serverName), pieces_(std::move(pieces)) {
  socket_.OnConnect = [this](platform::ClientSocket&) { Flush(); };
  socket_.OnRead = [this](platform::ClientSocket&) { Read(); };
  socket_.OnWrite = [this](platform::ClientSocket&) { Flush(); };
  socket_.OnDisconnect = [this](platform::ClientSocket&) {
    disconnected_ = true;
    session_.EndOfInput();
  };
  socket_.OnError = [this](platform::ClientSocket&, platform::SocketErrorKind, int& code) {
    code = 0;
    disconnected_ = true;
  };
  socket_.SetAddress("127.0.0.1");
  socket_.SetPort(port);
  socket_.Open();
}

bool TlsTestLink::RunUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done() && !disconnected_ && std::chrono::steady_clock::now() < deadline) {
    platform::WaitForEvents(100);
    platform::DispatchPendingEvents();
  }
  return done();
}

bool TlsTestLink::RunUntilState(platform::TlsState state) {
  return RunUntil([this, state] { return session_.State() == state; });
}

void TlsTestLink::Write(std::string_view plaintext) {
  while (!plaintext.empty()) {
    const std::size_t piece = std::min(NextPiece(), plaintext.size());
    session_.Write(plaintext.substr(0, piece));
    plaintext.remove_prefix(piece);
  }
  Flush();
}

void TlsTestLink::Close() {
  session_.Close();
  Flush();
}

std::size_t TlsTestLink::NextPiece() {
  const std::size_t piece = pieces_[nextPiece_];
  nextPiece_ = (nextPiece_ + 1) % pieces_.size();
  return piece;
}

void TlsTestLink::Flush() {
  while (!session_.Output().empty() && socket_.Active()) {
    const std::ptrdiff_t sent = socket_.Send(session_.Output());
    if (sent <= 0) return;  // OnWrite calls again when the socket takes more
    session_.ConsumeOutput(static_cast<std::size_t>(sent));
  }
}

void TlsTestLink::Read() {
  std::string bytes(socket_.PendingCount(), '\0');
  bytes.resize(socket_.Receive(bytes.data(), bytes.size()));
  std::string_view rest(bytes);
  while (!rest.empty()) {
    const std::size_t piece = std::min(NextPiece(), rest.size());
    session_.Feed(rest.substr(0, piece));
    rest.remove_prefix(piece);
  }
  if (session_.State() == platform::TlsState::Closed) closedByServer_ = true;
  received_ += session_.Plaintext();
  session_.ConsumePlaintext(session_.Plaintext().size());
  Flush();
}

}  // namespace pellam_test
