// The part of a TLS session that is the same on every system: the buffers the caller drains,
// the states, and the failures that need no TLS library to tell.
#include "platform/TlsSession.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/TlsEngine.h"

namespace platform {

namespace {

constexpr char kBadName[] = "TLS: the host name cannot be checked against a certificate";
constexpr char kNotTls[] = "TLS: handshake failed: the server did not answer in TLS";
constexpr char kClosedInHandshake[] = "TLS: the server closed the connection during the handshake";

// The first byte of a TLS server's first record: a handshake, or an alert refusing ours.
constexpr unsigned char kHandshakeRecord = 22;
constexpr unsigned char kAlertRecord = 21;

// A name a certificate can hold: printable ASCII without blanks, as DNS names and A-labels are.
bool CheckableName(std::string_view name) {
  if (name.empty() || name.size() > 253) return false;
  return std::all_of(name.begin(), name.end(), [](char ch) { return ch > ' ' && ch < 127; });
}

// Drops the taken front of a buffer once it outweighs the rest, so that appending stays cheap
// and the buffer never holds much more than what is still to be taken.
void Compact(std::string& buffer, std::size_t& taken) {
  if (taken == buffer.size()) {
    buffer.clear();
    taken = 0;
  } else if (taken > buffer.size() / 2) {
    buffer.erase(0, taken);
    taken = 0;
  }
}

}  // namespace

std::optional<IPv4Address> DottedIPv4(std::string_view text) {
  IPv4Address bytes{};
  std::size_t pos = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    const std::size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
    }
    if (pos == start || value > 255) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return bytes;
}

TlsSession::TlsSession(std::string_view serverName) {
  if (!CheckableName(serverName)) {
    Fail(kBadName);
    return;
  }
  TlsServerName name{std::string(serverName), DottedIPv4(serverName)};
  engine_ = StartTlsEngine(name, output_);
}

TlsSession::~TlsSession() = default;

std::string TlsSession::Protocol() const {
  return established_ ? engine_->Protocol() : std::string();
}

void TlsSession::Fail(std::string line) {
  // One line for the user: the system's own texts may end in, or hold, line breaks.
  std::replace_if(
      line.begin(), line.end(), [](char ch) { return ch == '\r' || ch == '\n'; }, ' ');
  while (!line.empty() && line.back() == ' ') line.pop_back();
  failure_ = std::move(line);
  state_ = TlsState::Failed;
}

void TlsSession::Feed(std::string_view received) {
  if (state_ == TlsState::Closed || state_ == TlsState::Failed || received.empty()) return;
  if (!answered_) {
    answered_ = true;
    const auto first = static_cast<unsigned char>(received.front());
    if (first != kHandshakeRecord && first != kAlertRecord) {
      Fail(kNotTls);
      return;
    }
  }
  Compact(output_, outputTaken_);
  Compact(plaintext_, plaintextTaken_);
  try {
    const TlsState reached = engine_->Feed(received, output_, plaintext_);
    if (reached != TlsState::Handshaking) established_ = true;
    if (reached == TlsState::Closed) {
      state_ = TlsState::Closed;
    } else if (state_ == TlsState::Handshaking) {
      state_ = reached;
    }
  } catch (const TlsFailure& failure) {
    Fail(failure.what());
  }
}

void TlsSession::EndOfInput() {
  if (state_ == TlsState::Handshaking) {
    Fail(kClosedInHandshake);
  } else if (state_ == TlsState::Established || state_ == TlsState::Closing) {
    state_ = TlsState::Closed;
  }
}

void TlsSession::Write(std::string_view plaintext) {
  if (state_ != TlsState::Established) {
    throw std::logic_error("TLS: no established session to write to");
  }
  Compact(output_, outputTaken_);
  try {
    engine_->Encrypt(plaintext, output_);
  } catch (const TlsFailure& failure) {
    Fail(failure.what());
  }
}

void TlsSession::Close() {
  if (state_ == TlsState::Handshaking) {
    state_ = TlsState::Closed;
    return;
  }
  if (closeSent_ || !established_ || state_ == TlsState::Failed) return;
  closeSent_ = true;
  Compact(output_, outputTaken_);
  engine_->Close(output_);
  if (state_ == TlsState::Established) state_ = TlsState::Closing;
}

void TlsSession::ConsumeOutput(std::size_t count) {
  outputTaken_ += std::min(count, output_.size() - outputTaken_);
  if (outputTaken_ == output_.size()) Compact(output_, outputTaken_);
}

void TlsSession::ConsumePlaintext(std::size_t count) {
  plaintextTaken_ += std::min(count, plaintext_.size() - plaintextTaken_);
  if (plaintextTaken_ == plaintext_.size()) Compact(plaintext_, plaintextTaken_);
}

}  // namespace platform
