// A TLS session over a real connection to one of the test servers (tls_test_servers.py) on
// 127.0.0.1, driven by the socket's notifications as the socket layer drives it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Socket.h"
#include "platform/TlsSession.h"

namespace pellam_test {

// The port of a test server by its name; 0, after a test failure saying why, when there is none.
int TlsTestPort(const std::string& server);

class TlsTestLink {
 public:
  // Connects at once. What arrives is fed to the session, and what is written handed to it, in
  // pieces of the sizes given, in turn.
  TlsTestLink(int port, std::string_view serverName,
              std::vector<std::size_t> pieces = {std::size_t{1} << 20});

  platform::TlsSession& Session() { return session_; }
  // The plaintext taken from the session so far.
  const std::string& Received() const { return received_; }
  bool Disconnected() const { return disconnected_; }
  // The session ended by the server's close_notify, not by the connection's end.
  bool ClosedByServer() const { return closedByServer_; }

  // Handles the socket's events until `done` holds, the connection has closed, or a minute
  // (far more than any case here needs) has passed. Returns done().
  bool RunUntil(const std::function<bool()>& done);
  bool RunUntilState(platform::TlsState state);
  void Write(std::string_view plaintext);
  void Close();

 private:
  std::size_t NextPiece();
  void Flush();
  void Read();

  platform::TlsSession session_;
  platform::ClientSocket socket_;
  std::vector<std::size_t> pieces_;
  std::size_t nextPiece_ = 0;
  std::string received_;
  bool disconnected_ = false;
  bool closedByServer_ = false;
};

}  // namespace pellam_test
