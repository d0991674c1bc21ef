// The SMTP client component: greets the server, authenticates, and delivers a built message to its
// recipients in one mail transaction per send, over a TSocketTalk conversation.
//
// Implements the client side of RFC 5321 (SMTP), the AUTH command of RFC 4954 with the LOGIN and
// CRAM-MD5 (RFC 2195) mechanisms, STARTTLS (RFC 3207) and TLS from the first byte on the
// submission port 465 (RFC 8314), and has the message write its origination date (RFC 5322
// section 3.6.1) on every send.
#include "mail/smtp/TSMTPVrex.h"

#include <algorithm>
#include <iterator>

#include "mail/codec/Base64.h"
#include "mail/codec/MailAddress.h"
#include "mail/codec/MailError.h"
#include "mail/codec/Md5.h"
#include "mail/codec/StringList.h"
#include "mail/codec/TextUtil.h"
#include "mail/mime/TMailMessageVrex.h"
#include "mail/smtp/DataText.h"
#include "mail/smtp/RecipientText.h"
#include "mail/smtp/SmtpReply.h"
#include "platform/Clock.h"

namespace MailVrex {

// The lines of the dialogue, in the order they can occur.
enum class DialogueLine : std::uint8_t {
  Greeting,
  Helo,
  Ehlo,
  StartTls,
  AuthCramMD5,
  CramResponse,
  AuthLogin,
  LoginUser,
  LoginPassword,
  MailFrom,
  RcptTo,
  Data,
  MessageText,
  Reset,
};

namespace {

// Step identifiers handed to the conversation and back with each reply.
enum : std::uint8_t {
  kGreeting = 1,
  kHelo = 9,
  kEhlo = 10,
  kMailFrom = 11,
  kRcptTo = 12,
  kData = 13,
  kMessageText = 14,
  kReset = 15,
  kAuthFinal = 16,
  kAuthCramMD5 = 17,
  kAuthLogin = 18,
  kStartTls = 19,
  kTlsHandshake = 20,  // no line: the wait for the handshake after STARTTLS
};

// The port of mail submission over TLS from the first byte.
constexpr std::int32_t kImplicitTlsPort = 465;

// What each line sends around its argument, its identifier, and the one reply code that accepts
// it; lines sharing an identifier share the code.
struct DialogueRow {
  DialogueLine line;
  std::uint8_t command;
  std::string_view opening;
  std::string_view closing;  // before the CR LF that ends every command line
  std::string_view accepted;
};

using enum DialogueLine;

// clang-format off
constexpr DialogueRow kDialogue[] = {
  // line         identifier    sent             closed by  accepted
  {Greeting,      kGreeting,    "",              "",        "220"},  // the server speaks first
  {Helo,          kHelo,        "HELO ",         "",        "250"},  // + local host name
  {Ehlo,          kEhlo,        "EHLO ",         "",        "250"},  // + local host name
  {StartTls,      kStartTls,    "STARTTLS",      "",        "220"},  // then the handshake
  {AuthCramMD5,   kAuthCramMD5, "AUTH CRAM-MD5", "",        "334"},  // reply: the challenge
  {CramResponse,  kAuthFinal,   "",              "",        "235"},  // + base64 user, digest
  {AuthLogin,     kAuthLogin,   "AUTH LOGIN",    "",        "334"},
  {LoginUser,     kAuthLogin,   "",              "",        "334"},  // + base64 user name
  {LoginPassword, kAuthFinal,   "",              "",        "235"},  // + base64 password
  {MailFrom,      kMailFrom,    "MAIL FROM: <",  ">",       "250"},  // + sender, maybe empty
  {RcptTo,        kRcptTo,      "RCPT TO: <",    ">",       "250"},  // + one; 251 fails too
  {Data,          kData,        "DATA",          "",        "354"},
  {MessageText,   kMessageText, "",              "",        "250"},  // stuffed text, "."
  {Reset,         kReset,       "RSET",          "",        "250"},  // after a failed step
};
// clang-format on

constexpr bool RowsFollowTheLines() {
  for (std::size_t i = 0; i < std::size(kDialogue); ++i) {
    if (static_cast<std::size_t>(kDialogue[i].line) != i) return false;
  }
  return std::size(kDialogue) == static_cast<std::size_t>(Reset) + 1;
}
static_assert(RowsFollowTheLines());

const DialogueRow& RowOf(DialogueLine line) {
  return kDialogue[static_cast<std::size_t>(line)];
}

// The code that accepts the reply to `command`, or nothing for an identifier without a row.
std::string_view AcceptedCode(std::uint8_t command) {
  const auto row = std::find_if(std::begin(kDialogue), std::end(kDialogue),
                                [command](const DialogueRow& r) { return r.command == command; });
  return row == std::end(kDialogue) ? std::string_view() : row->accepted;
}

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

TSMTPVrex::TSMTPVrex() : talk_(this) {
  talk_.OnReply = [this](TSocketTalk&, std::uint8_t command, const std::string& reply,
                         bool& success) { TalkReply(command, reply, success); };
  talk_.OnData = [this](TSocketTalk& sender, std::uint8_t, std::string_view piece, bool& success) {
    TalkData(sender, piece, success);
  };
  talk_.OnError = [this](TSocketTalk&, std::uint8_t, TErrorKind) { TalkError(); };
  talk_.OnDisconnect = [this](TSocketTalk&) { TalkDisconnect(); };
  talk_.ReplyComplete = IsReplyComplete;
}

// ---- Handlers: the judgement of every reply
// --------------------------------------------------------

void TSMTPVrex::TalkReply(std::uint8_t command, const std::string& reply, bool& success) {
  const std::string_view accepted = AcceptedCode(command);
  if (!accepted.empty() && reply.starts_with(accepted)) success = true;
}

// A refusal ends the wait as soon as its final line is in, before any completion rule runs.
void TSMTPVrex::TalkData(TSocketTalk& sender, std::string_view piece, bool& success) {
  if (!piece.ends_with(kLineEnd)) return;
  if (FinalReplyCode(LastReplyLine(sender.Reply)) > 499) {
    success = false;
    sender.CancelWait();
  }
}

// The reply, if one still comes, is no longer waited for: what the server says next may be it.
void TSMTPVrex::TalkError() {
  outOfStep_ = true;
  talk_.CancelWait();
}

void TSMTPVrex::TalkDisconnect() {
  Enter(TSMTPState::Closed);
}

void TSMTPVrex::Enter(TSMTPState state) {
  state_ = state;
}

// ---- One step: send, wait, judged by the handlers
// ------------------------------------------------

bool TSMTPVrex::Exchange(std::uint8_t command, std::string_view text) {
  outOfStep_ = false;
  talk_.SendCommand(text, kLineEnd, command);
  return Await(command);
}

bool TSMTPVrex::Await(std::uint8_t command) {
  talk_.WaitForReply();
  // The reply that LastReply gives is the one of the step that decided the outcome; where TLS
  // failed, the line that says how.
  if (command != kReset) {
    lastReply_ =
        talk_.TlsFailure().empty() ? talk_.Reply : talk_.TlsFailure() + std::string(kLineEnd);
  }
  return talk_.Success;
}

bool TSMTPVrex::Step(DialogueLine line, std::string_view argument) {
  const DialogueRow& row = RowOf(line);
  std::string text;
  text.reserve(row.opening.size() + argument.size() + row.closing.size() + kLineEnd.size());
  text.append(row.opening).append(argument).append(row.closing).append(kLineEnd);
  return Exchange(row.command, text);
}

// ---- Connection
// ----------------------------------------------------------------------------------

bool TSMTPVrex::Connect() {
  if (Connected() || talk_.Socket().Active()) return false;
  if (Host.empty()) return false;
  platform::ClientSocket& socket = talk_.Socket();
  const bool numeric = IsNumericHost(Host);
  socket.SetAddress(numeric ? Host : std::string());
  socket.SetHost(numeric ? std::string() : Host);
  socket.SetPort(Port);
  talk_.SetTlsOnConnect(Port == kImplicitTlsPort ? Host : std::string());

  // One time-out covers lookup, connection and greeting.
  outOfStep_ = false;
  talk_.ExpectReply(kGreeting);
  Enter(TSMTPState::AwaitingGreeting);
  try {
    RaisingMailError([&socket] { socket.Open(); });
  } catch (...) {
    talk_.CancelWait();
    Enter(TSMTPState::Closed);
    throw;
  }
  Await(kGreeting);

  if (talk_.Success) {
    Enter(TSMTPState::Greeted);
    if (AuthType == TAuthenticationType::atLogin) {
      if (!EhloAuthenticate()) {
        Disconnect();
        return false;
      }
    } else {
      Step(DialogueLine::Helo, socket.LocalHost());
    }
  }
  const bool open = socket.Active();
  // A lookup or connection that the time-out overtook is abandoned, so that nothing of this
  // attempt goes on under the next one.
  if (!open) socket.Close();
  Enter(talk_.Success && open ? TSMTPState::Ready
                              : (open ? TSMTPState::OpenNotConnected : TSMTPState::Closed));
  return Connected();
}

void TSMTPVrex::Disconnect() {
  talk_.Socket().Close();
  Enter(TSMTPState::Closed);
}

// ---- Authentication
// ------------------------------------------------------------------------------

std::string TSMTPVrex::FindCapability(std::string_view prefix,
                                      const std::vector<std::string>& lines) {
  const std::string wanted = UpperAscii(prefix);
  for (const std::string& line : lines) {
    if (UpperAscii(line).starts_with(wanted)) return line;
  }
  return {};
}

std::vector<std::string> TSMTPVrex::Capabilities() const {
  // The reply lines stay in the list; being led by their code, none can match a capability prefix.
  std::vector<std::string> lines = SplitLines(talk_.Reply);
  const std::size_t replyLines = lines.size();
  for (std::size_t i = 1; i < replyLines; ++i) {
    lines.push_back(lines[i].size() > 4 ? lines[i].substr(4) : std::string());
  }
  return lines;
}

bool TSMTPVrex::Secure() const {
  return talk_.Secure();
}

bool TSMTPVrex::EhloAuthenticate() {
  if (!Step(DialogueLine::Ehlo, talk_.Socket().LocalHost())) return false;
  std::vector<std::string> lines = Capabilities();
  // Offered TLS is taken, and once offered there is no way back to the clear: a refusal or a
  // failed handshake ends the connection. What the server said before TLS is forgotten, since
  // anyone on the way could have written it.
  const std::string tls = FindCapability("STARTTLS", lines);
  if (!talk_.Secure() && UpperAscii(TrimBlanksView(tls)) == "STARTTLS") {
    if (!StartTls() || !Step(DialogueLine::Ehlo, talk_.Socket().LocalHost())) return false;
    lines = Capabilities();
  }
  if (UserName.empty() && PassWord.empty()) return false;

  std::string offer = FindCapability("AUTH ", lines);
  if (offer.empty()) offer = FindCapability("AUTH=", lines);
  if (offer.empty()) return false;
  const std::string mechanisms = UpperAscii(offer);
  bool authenticated = false;
  if (mechanisms.find("CRAM-MD5") != std::string::npos) authenticated = AuthCramMD5();
  if (!authenticated && mechanisms.find("LOGIN") != std::string::npos) authenticated = AuthLogin();
  return authenticated;
}

bool TSMTPVrex::StartTls() {
  if (!Step(DialogueLine::StartTls)) return false;
  talk_.StartTls(Host, kTlsHandshake);
  return Await(kTlsHandshake);
}

bool TSMTPVrex::AuthLogin() {
  if (!Step(DialogueLine::AuthLogin)) return false;
  if (!Step(DialogueLine::LoginUser, TextToBase64(UserName))) return false;
  return Step(DialogueLine::LoginPassword, TextToBase64(PassWord));
}

bool TSMTPVrex::AuthCramMD5() {
  if (!Step(DialogueLine::AuthCramMD5)) return false;
  std::string_view challenge = talk_.Reply;
  if (challenge.ends_with(kLineEnd)) challenge.remove_suffix(kLineEnd.size());
  challenge.remove_prefix(std::min<std::size_t>(4, challenge.size()));
  const std::string digest = HmacMd5OfString(Base64ToText(challenge), PassWord);
  return Step(DialogueLine::CramResponse, TextToBase64(UserName + " " + HexOfBytes(digest)));
}

// ---- Mail transaction
// ----------------------------------------------------------------------------

[[noreturn]] void TSMTPVrex::RaiseUseError(std::string_view text) const {
  throw MailError(Name + std::string(text));
}

bool TSMTPVrex::SendMessage() {
  if (!MailMessage) RaiseUseError(": MailMessage unassigned");
  std::string recipients;
  for (TMailRecipients* list :
       {&MailMessage->ToList, &MailMessage->CcList, &MailMessage->BccList}) {
    if (list->Count() <= 0) continue;
    if (!recipients.empty()) recipients.push_back(',');
    recipients += list->AddressesAsCommaText();
  }
  return SendMessageTo(MailMessage->FromAddress(), recipients);
}

void TSMTPVrex::CheckUsable(std::string_view from,
                            const std::vector<std::string>& recipients) const {
  if (recipients.empty()) RaiseUseError(": No recipients to send message");
  // Each address goes into its command as given: one that is not a mail address could end the
  // command early, split it, or name someone else. An empty sender is the null reverse-path.
  if (!from.empty() && !IsMailAddress(from)) RaiseUseError(": " + InvalidAddressText(from));
  for (std::string_view address : recipients) {
    if (!IsMailAddress(address)) RaiseUseError(": " + InvalidAddressText(address));
  }
}

bool TSMTPVrex::SendMessageTo(std::string_view from, std::string_view recipients) {
  if (!Connected() || !talk_.Socket().Active()) return false;
  if (!MailMessage) RaiseUseError(": MailMessage unassigned");
  if (MailMessage->NeedRebuild) RaiseUseError(": MailMessage need rebuild");
  const std::vector<std::string> sorted = SortedRecipients(recipients);
  CheckUsable(from, sorted);

  Enter(TSMTPState::InTransaction);
  const bool sent = TransferMessage(from, sorted);
  if (!sent) EndFailedTransaction();
  // A lost connection has closed the state already; otherwise the next send may follow.
  if (state_ == TSMTPState::InTransaction) Enter(TSMTPState::Ready);
  return sent;
}

// The server still holds the failed transaction: RSET ends it, so that the next send can begin
// with MAIL FROM. A step that ended without its reply (a time-out, a reply beyond the cap) leaves
// the dialogue out of step, and a connection whose server refuses RSET is no longer known to
// follow it: either way the connection is closed, and the next send fails at once.
void TSMTPVrex::EndFailedTransaction() {
  if (state_ != TSMTPState::InTransaction) return;
  if (outOfStep_ || !Step(DialogueLine::Reset) || !talk_.Socket().Active()) Disconnect();
}

bool TSMTPVrex::TransferMessage(std::string_view from, const std::vector<std::string>& recipients) {
  if (!Step(DialogueLine::MailFrom, from)) return false;
  for (const std::string& recipient : recipients) {
    if (!Step(DialogueLine::RcptTo, recipient)) return false;  // the first refusal ends it
  }
  // Fresh identity and date on every send; they stay in the message.
  MailMessage->SetMessageId(talk_.Socket().LocalAddress());
  MailMessage->SetDate(platform::NowLocal());
  if (!Step(DialogueLine::Data)) return false;
  return TransferText();
}

bool TSMTPVrex::TransferText() {
  talk_.PacketSize = PacketSize;
  // The data text is made while it goes out, from the header and the body where they are: a
  // large message is never held a second or third time. Bcc recipients get the message through
  // the envelope alone.
  const std::string header = MailMessage->GetHeaderTextWithout("Bcc");
  DataTextReader reader(header, MailMessage->Body);
  const std::uint8_t command = RowOf(DialogueLine::MessageText).command;
  outOfStep_ = false;
  talk_.SendCommand(
      reader.TotalSize(), [&](char* out, std::size_t room) { return reader.Read(out, room); },
      kLineEnd, command);
  return Await(command);
}

}  // namespace MailVrex
