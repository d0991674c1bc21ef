// The socket conversation: arms a wait, hands text to the socket, and turns the socket's and
// the timer's notifications into the end of that wait.
#include "mail/smtp/TSocketTalk.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "mail/codec/MailError.h"
#include "platform/EventLoop.h"

namespace MailVrex {

namespace {

std::int32_t ClampToInt32(std::size_t count) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(count, std::numeric_limits<std::int32_t>::max()));
}

TErrorKind KindOfSocketError(platform::SocketErrorKind kind) {
  using platform::SocketErrorKind;
  switch (kind) {
    case SocketErrorKind::General:
      return TErrorKind::ekGeneral;
    case SocketErrorKind::Send:
      return TErrorKind::ekSend;
    case SocketErrorKind::Receive:
      return TErrorKind::ekReceive;
    case SocketErrorKind::Connect:
      return TErrorKind::ekConnect;
    case SocketErrorKind::Disconnect:
      return TErrorKind::ekDisconnect;
    case SocketErrorKind::Accept:
      return TErrorKind::ekAccept;
    case SocketErrorKind::Lookup:
      return TErrorKind::ekLookup;
  }
  return TErrorKind::ekGeneral;
}

// Stops the time-outs however the wait is left, an exception from a handler included.
class TimerStopper {
 public:
  TimerStopper(platform::Timer& idle, platform::Timer& deadline)
      : idle_(idle), deadline_(deadline) {}
  ~TimerStopper() {
    idle_.Stop();
    deadline_.Stop();
  }
  TimerStopper(const TimerStopper&) = delete;
  TimerStopper& operator=(const TimerStopper&) = delete;

 private:
  platform::Timer& idle_;
  platform::Timer& deadline_;
};

std::unique_ptr<platform::ClientSocket> MakeSocket() {
  return RaisingMailError([] { return std::make_unique<platform::ClientSocket>(); });
}

std::unique_ptr<platform::Timer> MakeTimer() {
  return RaisingMailError([] { return std::make_unique<platform::Timer>(); });
}

constexpr char kTlsUnavailable[] = "TLS: cannot be started here: ";

}  // namespace

TSocketTalk::TSocketTalk(void* owner)
    : owner_(owner), socket_(MakeSocket()), timer_(MakeTimer()), deadline_(MakeTimer()) {
  socket_->OnConnect = [this](platform::ClientSocket&) { SocketConnect(); };
  socket_->OnRead = [this](platform::ClientSocket&) { SocketRead(); };
  socket_->OnDisconnect = [this](platform::ClientSocket&) { SocketDisconnect(); };
  socket_->OnError = [this](platform::ClientSocket&, platform::SocketErrorKind kind, int& code) {
    SocketError(kind, code);
  };
  timer_->OnTimer = [this] { TimerTimeOut(); };
  deadline_->OnTimer = [this] { TimerTimeOut(); };
}

TSocketTalk::~TSocketTalk() {
  // The connection is closed by the socket's destructor; nobody is told of it.
  socket_->OnConnect = nullptr;
  socket_->OnRead = nullptr;
  socket_->OnDisconnect = nullptr;
  socket_->OnError = nullptr;
}

platform::ClientSocket& TSocketTalk::Socket() {
  return *socket_;
}

std::int32_t TSocketTalk::IntervalMilliseconds() const {
  // A negative TimeOut means no limit, like 0; the largest interval Windows timers accept caps it.
  constexpr std::int32_t maxSeconds = std::numeric_limits<std::int32_t>::max() / 1000;
  return TimeOut <= 0 ? 0 : std::min(TimeOut, maxSeconds) * 1000;
}

std::uint32_t TSocketTalk::DeadlineMilliseconds() const {
  // TimeOut is capped so that the multiple still fits the timer's interval.
  static_assert(std::uint64_t{std::numeric_limits<std::int32_t>::max() / 1000 * 1000} *
                    ReplyTimeOutMultiple <=
                std::numeric_limits<std::uint32_t>::max());
  return static_cast<std::uint32_t>(IntervalMilliseconds()) * ReplyTimeOutMultiple;
}

void TSocketTalk::StopTimers() {
  timer_->Stop();
  deadline_->Stop();
}

void TSocketTalk::SendCommand(std::string_view text, std::string_view terminator,
                              std::uint8_t command) {
  std::size_t position = 0;
  // Held whole already, a text outside pieces goes in one hand-over.
  RaisingMailError([&] {
    Send(
        text.size(), text.size(),
        [&](std::size_t most) {
          const std::string_view piece = text.substr(position, most);
          position += piece.size();
          return piece;
        },
        terminator, command);
  });
}

void TSocketTalk::SendCommand(std::size_t size, const TextSource& read, std::string_view terminator,
                              std::uint8_t command) {
  // Outside pieces, the text is read into one buffer of this size at a time.
  constexpr std::size_t kChunk = 256 * 1024;
  std::string buffer;
  RaisingMailError([&] {
    Send(
        size, kChunk,
        [&](std::size_t most) {
          if (buffer.size() < most) buffer.resize(most);
          return std::string_view(buffer.data(), read(buffer.data(), most));
        },
        terminator, command);
  });
}

void TSocketTalk::Send(std::size_t size, std::size_t chunk, const NextPiece& next,
                       std::string_view terminator, std::uint8_t command) {
  Terminator = terminator;
  Command = command;
  Reply.clear();
  tlsFailure_.clear();
  expecting_ = false;
  handshakeWait_ = false;
  timer_->SetInterval(static_cast<std::uint32_t>(IntervalMilliseconds()));
  Kind = TErrorKind::ekNone;
  Waiting = true;
  Success = false;
  const bool wasOpen = socket_->Active();
  if (PacketSize > 0 && size > static_cast<std::size_t>(PacketSize)) {
    SendInPieces(size, next);
  } else {
    // Stops where a hand-over timed out or the connection closed: the rest could not go.
    for (std::string_view piece = next(chunk); !piece.empty(); piece = next(chunk)) {
      if (!HandOver(piece) || !socket_->Active()) break;
    }
  }
  PacketSize = 0;
  // Nothing can answer on a connection that had closed: the wait would only run out.
  if (!wasOpen && Waiting) EndWaitWithError(TErrorKind::ekDisconnect);
}

void TSocketTalk::SendInPieces(std::size_t size, const NextPiece& next) {
  // Taken once: a close handled between pieces clears PacketSize.
  const auto pieceSize = static_cast<std::size_t>(PacketSize);
  const auto total = ClampToInt32(size);
  const platform::WaitScope scope;  // events are dispatched between the pieces
  if (OnProgress) OnProgress(owner_, total, 0);
  std::size_t position = 0;
  while (position < size) {
    platform::DispatchPendingEvents();
    const std::string_view piece = next(pieceSize);
    if (piece.empty()) break;
    timer_->Start();
    const bool handedOver = HandOver(piece);
    timer_->Stop();
    if (!handedOver) return;  // the peer stopped reading: the step has ended as a time-out
    position += piece.size();
    if (OnProgress) OnProgress(owner_, total, ClampToInt32(position));
  }
  if (OnProgress) OnProgress(owner_, total, total);
}

bool TSocketTalk::HandOver(std::string_view buffer) {
  if (!tls_) return HandOverBytes(buffer);
  // Nothing can go before the handshake is done or once the session has ended.
  if (tls_->State() != platform::TlsState::Established) {
    EndWaitWithError(TErrorKind::ekSend);
    return false;
  }
  RaisingMailError([&] { tls_->Write(buffer); });
  return FlushTls();
}

bool TSocketTalk::HandOverBytes(std::string_view buffer) {
  using Clock = std::chrono::steady_clock;
  const std::int32_t limit = IntervalMilliseconds();
  auto lastProgress = Clock::now();
  while (!buffer.empty()) {
    const auto accepted = socket_->Send(buffer);
    if (accepted > 0) {
      buffer.remove_prefix(static_cast<std::size_t>(accepted));
      lastProgress = Clock::now();
      continue;
    }
    // Nothing accepted on a closed connection, or a failure whose notification ended the wait.
    if (accepted == 0 || !socket_->Active()) return true;
    int left = -1;
    if (limit > 0) {
      const auto spent =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
      left = static_cast<int>(std::max<long long>(0, limit - spent.count()));
    }
    if (left == 0 || !socket_->WaitWritable(left)) {
      EndWaitWithError(TErrorKind::ekTimeOut);
      // What went is part of a text whose rest never will: nothing may follow it on this
      // connection, which reads as closed from here on.
      socket_->Close();
      return false;
    }
  }
  return true;
}

void TSocketTalk::ExpectReply(std::uint8_t command) {
  Terminator.clear();
  Reply.clear();
  tlsFailure_.clear();
  handshakeWait_ = false;
  try {
    RaisingMailError([this] {
      timer_->SetInterval(static_cast<std::uint32_t>(IntervalMilliseconds()));
      deadline_->SetInterval(DeadlineMilliseconds());
      timer_->Start();
      deadline_->Start();
    });
  } catch (...) {
    StopTimers();
    throw;
  }
  Kind = TErrorKind::ekNone;
  Command = command;
  Waiting = true;
  Success = false;
  expecting_ = true;
}

void TSocketTalk::WaitForReply() {
  RaisingMailError([this] {
    const platform::WaitScope scope;
    timer_->SetInterval(static_cast<std::uint32_t>(IntervalMilliseconds()));
    // Counted from ExpectReply when that armed the wait, else from here, after the hand-over.
    deadline_->SetInterval(DeadlineMilliseconds());
    TimerStopper stopper(*timer_, *deadline_);
    if (Waiting && !Success) deadline_->Start();
    while (Waiting && !Success) {
      timer_->Start();
      platform::DispatchPendingEvents();
      // The time-out timers are among the events waited for, so this sleep has its deadline.
      if (Waiting && !Success) platform::WaitForEvents(-1);
    }
  });
}

void TSocketTalk::CancelWait() {
  StopTimers();
  handshakeWait_ = false;
  Kind = TErrorKind::ekNone;
  Command = 0;
  Terminator.clear();
  expecting_ = false;
  Waiting = false;
  Success = false;
}

bool TSocketTalk::ReplyIsComplete() const {
  if (Terminator.empty() && !expecting_) return true;
  if (ReplyComplete) return ReplyComplete(Reply);
  return Terminator.empty() || Reply.ends_with(Terminator);
}

void TSocketTalk::SetTlsOnConnect(std::string serverName) {
  tlsOnConnect_ = std::move(serverName);
}

void TSocketTalk::StartTls(std::string_view serverName, std::uint8_t command) {
  ExpectReply(command);
  handshakeWait_ = true;
  if (!socket_->Active()) {
    EndWaitWithError(TErrorKind::ekDisconnect);
    return;
  }
  BeginTls(serverName);
}

bool TSocketTalk::Secure() const {
  return tls_ && tls_->State() == platform::TlsState::Established && socket_->Active();
}

// A new connection starts plain unless every connection is to speak TLS from its first byte.
void TSocketTalk::SocketConnect() {
  tls_.reset();
  handshakeWait_ = false;
  if (!tlsOnConnect_.empty()) BeginTls(tlsOnConnect_);
}

bool TSocketTalk::BeginTls(std::string_view serverName) {
  try {
    tls_ = std::make_unique<platform::TlsSession>(serverName);
  } catch (const std::exception& failure) {
    FailTls(kTlsUnavailable + std::string(failure.what()));
    return false;
  }
  return FlushTls();
}

// What the session has to send goes at once, the handshake's answers and alerts included.
bool TSocketTalk::FlushTls() {
  const std::string_view output = tls_->Output();
  const bool handedOver = HandOverBytes(output);
  tls_->ConsumeOutput(output.size());
  return handedOver;
}

// The wait ends with the failure, and the connection with it: nothing of the conversation may
// go on in the clear, nor over a session that no longer holds.
void TSocketTalk::FailTls(std::string line) {
  tlsFailure_ = std::move(line);
  EndWaitWithError(TErrorKind::ekGeneral);
  if (tls_ && !tls_->Output().empty() && socket_->Active()) socket_->Send(tls_->Output());
  socket_->Close();
}

// Replaces the received bytes with the plaintext they carried; false when the session failed,
// which closed the connection.
bool TSocketTalk::TlsReceived(std::string& piece) {
  using platform::TlsState;
  tls_->Feed(piece);
  piece.assign(tls_->Plaintext());
  tls_->ConsumePlaintext(piece.size());
  const TlsState state = tls_->State();
  if (state == TlsState::Failed) {
    FailTls(tls_->Failure());
    return false;
  }
  if (!tls_->Output().empty() && !FlushTls()) return false;
  if (handshakeWait_ && state == TlsState::Established) {
    StopTimers();
    handshakeWait_ = false;
    expecting_ = false;
    Waiting = false;
    Success = true;
    Command = 0;
  }
  return true;
}

void TSocketTalk::SocketRead() {
  std::string piece(socket_->PendingCount(), '\0');
  piece.resize(socket_->Receive(piece.data(), piece.size()));
  if (piece.empty()) return;  // a notification with nothing left to read
  if (tls_ && (!TlsReceived(piece) || piece.empty())) return;
  const std::size_t room = MaxReplySize - std::min(MaxReplySize, Reply.size());
  const bool overflow = piece.size() > room;
  Reply.append(piece, 0, std::min(room, piece.size()));
  Kind = TErrorKind::ekNone;
  timer_->Stop();
  if (OnData) OnData(*this, Command, piece, Success);
  if (overflow && Waiting) {
    EndWaitWithError(TErrorKind::ekReceive);
    return;
  }
  if (!ReplyIsComplete()) {
    timer_->Start();  // a full TimeOut now counts from this piece
    return;
  }
  deadline_->Stop();
  Kind = TErrorKind::ekNone;
  Terminator.clear();
  expecting_ = false;
  Waiting = false;
  if (OnReply) OnReply(*this, Command, Reply, Success);
  Command = 0;
}

void TSocketTalk::SocketDisconnect() {
  // A server that closes during the handshake has refused the session.
  if (tls_ && tls_->State() == platform::TlsState::Handshaking) {
    tls_->EndOfInput();
    tlsFailure_ = tls_->Failure();
  }
  if (OnDisconnect) OnDisconnect(*this);
  StopTimers();
  Waiting = false;
  Command = 0;
  Terminator.clear();
  expecting_ = false;
  PacketSize = 0;
}

void TSocketTalk::SocketError(platform::SocketErrorKind kind, int& code) {
  EndWaitWithError(KindOfSocketError(kind));
  code = 0;
}

void TSocketTalk::TimerTimeOut() {
  EndWaitWithError(TErrorKind::ekTimeOut);
}

void TSocketTalk::EndWaitWithError(TErrorKind kind) {
  StopTimers();
  handshakeWait_ = false;
  Kind = kind;
  Terminator.clear();
  expecting_ = false;
  Waiting = false;
  Success = false;
  if (OnError) OnError(*this, Command, Kind);
  Command = 0;
}

}  // namespace MailVrex
