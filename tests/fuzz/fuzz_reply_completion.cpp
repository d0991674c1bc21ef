// libFuzzer target: a reply of any bytes in any pieces, sent over a real connection on
// 127.0.0.1 into the conversation with the SMTP completion rule: the wait ends at the first
// read after which the text ends with a line that announces no further line, and never earlier.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/smtp/SmtpReply.h"
#include "mail/smtp/TSocketTalk.h"
#include "platform/EventLoop.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Written from the reply-line grammar of RFC 5321 section 4.2.1, apart from the code it checks.
bool EndsWithLastLine(std::string_view text) {
  if (!text.ends_with("\r\n")) return false;
  text.remove_suffix(2);
  const std::size_t previous = text.rfind("\r\n");
  const std::string_view line =
      previous == std::string_view::npos ? text : text.substr(previous + 2);
  const bool continuation =
      line.size() >= 4 && line[3] == '-' &&
      line.substr(0, 3).find_first_not_of("0123456789") == std::string_view::npos;
  return !continuation;
}

int Listener(int& port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  Check(s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(s, 4) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0);
  port = ntohs(address.sin_port);
  return s;
}

// Dispatches until `done`, failing when that takes longer than any delivery on 127.0.0.1 can.
template <class Done>
void PumpUntil(const Done& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    Check(std::chrono::steady_clock::now() < limit);
    platform::DispatchPendingEvents();
    if (!done()) platform::WaitForEvents(10);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int port = 0;
  static const int listener = Listener(port);

  MailVrex::TSocketTalk talk(nullptr);
  talk.TimeOut = 30;
  talk.ReplyComplete = MailVrex::IsReplyComplete;
  std::string received;
  bool replied = false;
  bool complete = false;  // what the reads so far give, by the grammar
  talk.OnData = [&](MailVrex::TSocketTalk& sender, std::uint8_t, std::string_view piece, bool&) {
    received.append(piece);
    if (replied) return;  // data after the reply, unasked for
    Check(sender.Reply == received);
    Check(!complete);  // an earlier read gave the last line, yet the wait went on
    complete = EndsWithLastLine(received);
  };
  talk.OnReply = [&](MailVrex::TSocketTalk&, std::uint8_t command, const std::string& reply,
                     bool& success) {
    if (command == 0) return;
    Check(!replied && complete && reply == received);  // never before the last line
    replied = true;
    success = true;
  };
  talk.Socket().SetAddress("127.0.0.1");
  talk.Socket().SetPort(port);
  talk.Socket().Open();
  const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  Check(server >= 0);
  const int on = 1;
  ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  PumpUntil([&] { return talk.Socket().Active(); });
  talk.SendCommand("CMD\r\n", "\r\n", 7);

  // Pieces: a length byte, then up to that many bytes.
  std::size_t sent = 0;
  for (std::size_t at = 0; at < size && !replied;) {
    const std::size_t length = std::min<std::size_t>(1 + data[at] % 32, size - at - 1);
    ++at;
    if (length == 0) break;
    Check(::send(server, data + at, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length));
    at += length;
    sent += length;
    PumpUntil([&] { return received.size() >= sent || replied; });
  }
  Check(replied == complete && talk.Waiting == !replied);
  ::close(server);
  return 0;
}
