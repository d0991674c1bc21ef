// A client's TLS session over memory buffers: the caller carries the bytes between the session
// and its socket, so that nothing here blocks and the socket's notifications drive it all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

enum class TlsState : std::uint8_t {
  Handshaking,  // send Output() and Feed() what arrives until the state changes
  Established,  // Write() and Plaintext() carry the application's data
  Closing,      // Close() queued our close_notify; what the server still sends is delivered
  Closed,       // the server ended the session (close_notify, or the connection closed)
  Failed        // Failure() says in one line what failed; Output() may hold an alert to send
};

class TlsEngine;

class TlsSession {
 public:
  // `serverName` is what the certificate must name: a host name, or a dotted IPv4 address that
  // is checked against the certificate's IP addresses (and sent as no server name indication).
  // The first handshake bytes are in Output() at once. Throws std::runtime_error when the
  // system's TLS cannot be set up at all; a name that cannot be checked fails the session.
  explicit TlsSession(std::string_view serverName);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  TlsState State() const { return state_; }
  // Empty unless Failed, e.g. "TLS: the server's certificate is not trusted".
  const std::string& Failure() const { return failure_; }
  // "TLS 1.2" or "TLS 1.3" once established; empty before.
  std::string Protocol() const;

  // Bytes received from the server, in pieces of any size: a record split between pieces is
  // kept until it is whole, and a piece may hold many records. The certificate is checked as
  // soon as the handshake ends. Ignored once Closed or Failed.
  void Feed(std::string_view received);
  // The server closed the connection: a failure during the handshake; afterwards Closed, with
  // what was decrypted still in Plaintext().
  void EndOfInput();

  // Encrypts application data into records in Output(). Only while Established; throws
  // std::logic_error otherwise.
  void Write(std::string_view plaintext);
  // Queues close_notify when a session was established; Write() is refused from then on.
  void Close();

  // What is to go to the server, and how much of it the socket has taken.
  std::string_view Output() const { return std::string_view(output_).substr(outputTaken_); }
  void ConsumeOutput(std::size_t count);
  // Data decrypted and not yet taken.
  std::string_view Plaintext() const {
    return std::string_view(plaintext_).substr(plaintextTaken_);
  }
  void ConsumePlaintext(std::size_t count);

 private:
  void Fail(std::string line);

  std::unique_ptr<TlsEngine> engine_;
  TlsState state_ = TlsState::Handshaking;
  bool established_ = false;  // the handshake ended well, whatever came after
  bool closeSent_ = false;
  bool answered_ = false;  // the server has sent its first byte
  std::string failure_;
  std::string output_;
  std::size_t outputTaken_ = 0;
  std::string plaintext_;
  std::size_t plaintextTaken_ = 0;
};

}  // namespace platform
