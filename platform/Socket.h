// The asynchronous TCP client socket under the mail conversation: every notification is
// delivered on the thread that created the socket, while that thread dispatches its events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// A full <windows.h> brings <winspool.h>, whose SetPort macro would rename the member below.
#ifdef SetPort
#undef SetPort
#endif

namespace platform {

enum class SocketErrorKind : std::uint8_t {
  General,
  Send,
  Receive,
  Connect,
  Disconnect,
  Accept,
  Lookup
};

// Raised synchronously when a socket cannot be created or a lookup cannot be started, and
// for an error notification whose handler left the error code set.
class SocketError : public std::runtime_error {
 public:
  SocketError(const std::string& what, int code) : std::runtime_error(what), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

class ClientSocket {
 public:
  // The handler of OnError may set the code to 0: the error is dealt with and nothing is raised.
  using ErrorHandler = std::function<void(ClientSocket& sender, SocketErrorKind kind, int& code)>;
  using Handler = std::function<void(ClientSocket& sender)>;

  ClientSocket();
  ~ClientSocket();  // closes an open connection without a closed notification
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // The target: a host name looked up when the socket opens, or a dotted IPv4 address.
  void SetHost(std::string_view name);
  void SetAddress(std::string_view dotted);
  void SetPort(int port);
  const std::string& Host() const;
  const std::string& Address() const;
  int Port() const;

  // Starts the lookup and the connection and returns at once; a later failure arrives as an
  // error notification of kind Lookup or Connect. Opening a socket under way does nothing.
  void Open();
  // Closes an open connection and delivers the closed notification before returning;
  // abandons a lookup or connection under way without a notification.
  void Close();
  // From the connected notification until the closed notification.
  bool Active() const;

  // Bytes that can be read now, and a read of at most `count` of them.
  std::size_t PendingCount();
  std::size_t Receive(char* buffer, std::size_t count);
  // Bytes accepted; -1 when the socket cannot accept data now (no notification) or after a
  // failure (error notification of kind Send, then the connection is closed); 0 when no
  // connection is open.
  std::ptrdiff_t Send(std::string_view data);
  // Blocks, dispatching nothing, until a refused Send may be offered again or `milliseconds`
  // pass (negative: no limit). False only when the time ran out.
  bool WaitWritable(int milliseconds);

  // The local machine's name (at most 256 bytes) and the local end's dotted address; both
  // empty while no socket exists.
  std::string LocalHost();
  std::string LocalAddress();

  Handler OnConnect;     // the connection is open
  Handler OnRead;        // data can be read
  Handler OnWrite;       // a refused Send can be offered again
  Handler OnDisconnect;  // the connection is closed, by the peer or by Close
  ErrorHandler OnError;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
