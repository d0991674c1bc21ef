// The SMTP client component: greets the server, authenticates, and delivers a built message to its
// recipients in one mail transaction per send, over a TSocketTalk conversation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mail/mime/ProgressEvent.h"
#include "mail/smtp/TSocketTalk.h"

namespace MailVrex {

class TMailMessageVrex;
enum class DialogueLine : std::uint8_t;  // told in TSMTPVrex.cpp

enum class TAuthenticationType : std::uint8_t { atNone = 0, atLogin = 1 };

// Where the conversation stands; `Connected` is true in Ready and InTransaction only.
enum class TSMTPState : std::uint8_t {
  Closed,
  AwaitingGreeting,
  Greeted,
  OpenNotConnected,  // a failed greeting or HELO left the socket open until Disconnect
  Ready,
  InTransaction,
};

class TSMTPVrex {
 public:
  TSMTPVrex();
  ~TSMTPVrex() = default;  // the conversation closes an open connection without a command
  TSMTPVrex(const TSMTPVrex&) = delete;
  TSMTPVrex& operator=(const TSMTPVrex&) = delete;

  // Begins every error message the component raises.
  std::string Name;

  std::int32_t Port = 25;
  std::string Host;  // a name to look up, or a dotted address
  TAuthenticationType AuthType = TAuthenticationType::atNone;
  std::string UserName;
  std::string PassWord;
  TMailMessageVrex* MailMessage = nullptr;  // not owned
  std::int32_t PacketSize = 102400;         // bytes per hand-over of the message text

  std::int32_t TimeOut() const { return talk_.TimeOut; }  // seconds; 0 waits without limit
  void SetTimeOut(std::int32_t seconds) { talk_.TimeOut = seconds; }
  // Progress of the message text only; its sender is this component.
  const TProgressEvent& OnProgress() const { return talk_.OnProgress; }
  void SetOnProgress(TProgressEvent handler) { talk_.OnProgress = std::move(handler); }

  // The connection is encrypted: TLS from the first byte on port 465, or after STARTTLS when
  // AuthType atLogin meets a server that offers it.
  bool Secure() const;
  bool Connected() const {
    return state_ == TSMTPState::Ready || state_ == TSMTPState::InTransaction;
  }
  TSMTPState State() const { return state_; }
  const TSocketTalk& Talk() const { return talk_; }

  // Opens the connection and completes greeting, HELO or EHLO and authentication. An attempt
  // that fails with no connection open leaves no lookup or connection under way behind it.
  // Everything the operations raise is a MailError; failures of the dialogue return false.
  bool Connect();
  // Sends MailMessage to every address of its To, Cc and Bcc lists. After a failed step the
  // transaction is reset (RSET) while the connection is open.
  bool SendMessage();
  // Sends MailMessage with the envelope sender `from` to the comma-separated `recipients`.
  bool SendMessageTo(std::string_view from, std::string_view recipients);
  // Closes the socket at once; no QUIT is sent.
  void Disconnect();
  // Everything the server sent for the step that decided the last outcome, line ends included
  // (the RSET after a failed step is not such a step).
  std::string LastReply() const { return lastReply_; }

  // The first of `lines` that begins with `prefix`, comparing ASCII letters in upper case; or
  // empty.
  static std::string FindCapability(std::string_view prefix, const std::vector<std::string>& lines);

  // The steps of Connect for AuthType atLogin; each expects the greeting to have been accepted.
  bool EhloAuthenticate();
  bool StartTls();
  bool AuthLogin();
  bool AuthCramMD5();

 private:
  std::vector<std::string> Capabilities() const;  // of the EHLO reply just read
  void TalkReply(std::uint8_t command, const std::string& reply, bool& success);
  void TalkData(TSocketTalk& sender, std::string_view piece, bool& success);
  void TalkError();
  void TalkDisconnect();

  bool Exchange(std::uint8_t command, std::string_view text);
  bool Await(std::uint8_t command);
  bool Step(DialogueLine line, std::string_view argument = {});
  bool TransferMessage(std::string_view from, const std::vector<std::string>& recipients);
  bool TransferText();
  void EndFailedTransaction();
  void CheckUsable(std::string_view from, const std::vector<std::string>& recipients) const;
  [[noreturn]] void RaiseUseError(std::string_view text) const;
  void Enter(TSMTPState state);

  TSMTPState state_ = TSMTPState::Closed;
  std::string lastReply_;
  bool outOfStep_ = false;  // the current step ended without its reply
  // Declared last so that it goes first: nothing it might still report reaches a destroyed member.
  TSocketTalk talk_;
};

}  // namespace MailVrex
