// Measures the CPU that the conversation burns while it waits for a server that accepts the
// connection and says nothing: the wait must sleep on its event source, not spin.
//   talk_wait_bench [seconds]    (default 10)
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "mail/smtp/TSocketTalk.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A listener whose backlog completes the connection; nobody ever accepts or answers.
int SilentListener(int& port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 1) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::perror("listen");
    std::exit(1);
  }
  port = ntohs(address.sin_port);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  int port = 0;
  const int listener = SilentListener(port);
  MailVrex::TSocketTalk talk(nullptr);
  talk.TimeOut = seconds;
  talk.OnReply = [](MailVrex::TSocketTalk&, std::uint8_t, const std::string&, bool& success) {
    success = true;
  };
  talk.Socket().SetAddress("127.0.0.1");
  talk.Socket().SetPort(port);

  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  talk.ExpectReply(1);
  talk.Socket().Open();
  talk.WaitForReply();
  const double cpu = CpuSeconds() - cpuStart;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  const bool timedOut = talk.Kind == MailVrex::TErrorKind::ekTimeOut;
  std::printf("wait for a silent server: wall %.3f s, cpu %.4f s, cpu/wall %.4f%%, %s\n", wall, cpu,
              100.0 * cpu / wall, timedOut ? "ended by the time-out" : "did NOT time out");
  close(listener);
  return timedOut ? 0 : 1;
}
