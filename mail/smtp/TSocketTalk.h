// The sequential conversation over an asynchronous client socket: hand a text over, then wait
// on the calling thread until the reply is complete, the peer closes, an error or a time-out.
// The conversation may go over TLS, from the first byte or from a step on: texts, replies, their
// pieces and time-outs are the same either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mail/mime/ProgressEvent.h"
#include "platform/Socket.h"
#include "platform/Timer.h"
#include "platform/TlsSession.h"

namespace MailVrex {

enum class TErrorKind : std::uint8_t {
  ekNone,
  ekTimeOut,
  ekGeneral,
  ekSend,
  ekReceive,
  ekConnect,
  ekDisconnect,
  ekAccept,
  ekLookup
};

class TSocketTalk {
 public:
  // The reply text kept is capped so that an endless reply cannot grow memory without bound.
  static constexpr std::size_t MaxReplySize = 1024 * 1024;
  // A reply must be complete within this many TimeOuts after its wait began, however its pieces
  // trickle in: a first byte may take almost one TimeOut, the rest as long again.
  static constexpr std::int32_t ReplyTimeOutMultiple = 2;

  // Everything raised by the constructor and the operations below is a MailError; failures of
  // the connection end the wait instead.
  explicit TSocketTalk(void* owner);  // owner = Sender of OnProgress
  ~TSocketTalk();                     // closes an open connection, raises no OnDisconnect
  TSocketTalk(const TSocketTalk&) = delete;
  TSocketTalk& operator=(const TSocketTalk&) = delete;

  std::int32_t TimeOut = 60;
  std::string Terminator;
  std::string Reply;
  std::int32_t PacketSize = 0;
  TErrorKind Kind = TErrorKind::ekNone;
  std::uint8_t Command = 0;
  bool Waiting = false;
  bool Success = false;
  TProgressEvent OnProgress;
  std::function<void(TSocketTalk& sender, std::uint8_t command, const std::string& reply,
                     bool& success)>
      OnReply;
  std::function<void(TSocketTalk& sender, std::uint8_t command, TErrorKind kind)> OnError;
  std::function<void(TSocketTalk& sender, std::uint8_t command, std::string_view piece,
                     bool& success)>
      OnData;
  std::function<void(TSocketTalk& sender)> OnDisconnect;
  // Optional completion rule: when set it decides, instead of the Terminator test, whether
  // Reply is complete. Called only when Terminator is non-empty or for ExpectReply waits.
  std::function<bool(std::string_view reply)> ReplyComplete;

  // A text that cannot be handed over within TimeOut ends the wait as a time-out and closes the
  // connection, since the rest of it will never follow what went.
  void SendCommand(std::string_view text, std::string_view terminator, std::uint8_t command);
  // The same for a text too large to hold twice, of `size` bytes: `read` fills up to the given
  // room with the text's next bytes and returns the count.
  using TextSource = std::function<std::size_t(char* out, std::size_t room)>;
  void SendCommand(std::size_t size, const TextSource& read, std::string_view terminator,
                   std::uint8_t command);
  void ExpectReply(std::uint8_t command);
  void WaitForReply();
  void CancelWait();
  platform::ClientSocket& Socket();

  // Every connection opened from now on speaks TLS from its first byte, its certificate checked
  // against `serverName` (a host name or a dotted IPv4 address); empty: plain connections.
  void SetTlsOnConnect(std::string serverName);
  // Begins TLS on the open connection and arms a wait, like ExpectReply, that ends with Success
  // once the handshake is done and the certificate checked.
  void StartTls(std::string_view serverName, std::uint8_t command);
  // The open connection is encrypted.
  bool Secure() const;
  // One line saying how TLS failed, when that ended the last wait; empty otherwise. A failure
  // of TLS closes the connection.
  const std::string& TlsFailure() const { return tlsFailure_; }

 private:
  void SocketConnect();
  void SocketRead();
  bool TlsReceived(std::string& piece);
  bool BeginTls(std::string_view serverName);
  bool FlushTls();
  void FailTls(std::string line);
  void SocketDisconnect();
  void SocketError(platform::SocketErrorKind kind, int& code);
  void TimerTimeOut();
  void EndWaitWithError(TErrorKind kind);
  bool ReplyIsComplete() const;
  // The text to send, a piece of at most the given size at a time; empty at its end.
  using NextPiece = std::function<std::string_view(std::size_t most)>;
  void Send(std::size_t size, std::size_t chunk, const NextPiece& next, std::string_view terminator,
            std::uint8_t command);
  void SendInPieces(std::size_t size, const NextPiece& next);
  bool HandOver(std::string_view buffer);
  bool HandOverBytes(std::string_view bytes);
  std::int32_t IntervalMilliseconds() const;
  std::uint32_t DeadlineMilliseconds() const;
  void StopTimers();

  void* owner_;
  bool expecting_ = false;      // the wait was armed by ExpectReply
  bool handshakeWait_ = false;  // the wait was armed by StartTls
  std::string tlsOnConnect_;
  std::string tlsFailure_;
  std::unique_ptr<platform::TlsSession> tls_;  // the session of the current connection, if any
  std::unique_ptr<platform::ClientSocket> socket_;
  std::unique_ptr<platform::Timer> timer_;     // TimeOut without data
  std::unique_ptr<platform::Timer> deadline_;  // the whole reply: ReplyTimeOutMultiple TimeOuts
};

}  // namespace MailVrex
