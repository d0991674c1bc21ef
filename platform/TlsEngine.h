// The system's TLS library under TlsSession, one implementation per platform: it turns the bytes
// received into bytes to send and plaintext, and plaintext into records, and checks the
// server's certificate against the system's trusted roots and the name asked for.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/TlsSession.h"

namespace platform {

// What failed, for the user to read; TlsSession keeps it to one line.
class TlsFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace tls_text {
inline constexpr char kNotTrusted[] = "TLS: the server's certificate is not trusted";
inline constexpr char kOtherHost[] = "TLS: the server's certificate names another host";
inline constexpr char kExpired[] = "TLS: the server's certificate has expired or is not yet valid";
inline constexpr char kRejected[] = "TLS: the server's certificate was rejected: ";
inline constexpr char kHandshakeFailed[] = "TLS: handshake failed: ";
inline constexpr char kConnectionFailed[] = "TLS: the connection failed: ";
}  // namespace tls_text

using IPv4Address = std::array<std::uint8_t, 4>;

// The four bytes of a dotted IPv4 address such as "192.0.2.7"; nothing for any other text
// (a host name, or a shortened form such as "127.1", which no certificate names).
std::optional<IPv4Address> DottedIPv4(std::string_view text);

// Who the certificate must name: a host name, or (when `address` is set) that IP address.
struct TlsServerName {
  std::string host;
  std::optional<IPv4Address> address;
};

class TlsEngine {
 public:
  virtual ~TlsEngine() = default;

  // Takes bytes received in any pieces; appends what is to be sent to `output` and what was
  // decrypted to `plaintext`. Returns Handshaking, Established, or Closed once the server's
  // close_notify arrived. Throws TlsFailure, after appending any alert to `output`.
  virtual TlsState Feed(std::string_view received, std::string& output, std::string& plaintext) = 0;
  // Appends the records that carry `plaintext`. Throws TlsFailure.
  virtual void Encrypt(std::string_view plaintext, std::string& output) = 0;
  // Appends close_notify where the system's TLS can make one.
  virtual void Close(std::string& output) = 0;
  // "TLS 1.2", "TLS 1.3"; empty when unknown.
  virtual std::string Protocol() const = 0;
};

// Begins a client handshake, appending its first bytes to `output`. Throws std::runtime_error
// when the system's TLS cannot be set up.
std::unique_ptr<TlsEngine> StartTlsEngine(const TlsServerName& name, std::string& output);

}  // namespace platform
