// Transfer benchmark of the SMTP client: sends built messages of 200 KiB, 20 MiB and 200 MiB over
// loopback to Postfix's smtp-sink and to a discard-only sink, then one with a 64 MiB file over
// STARTTLS to the discard sink, and in the same run sends the same text with curl (with
// --ssl-reqd over TLS); prints wall and CPU times of both and their ratios.
//   smtp_bench [sizes in KiB...]     default 200 20480 204800
//   smtp_bench tls                   the STARTTLS comparison alone
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mail/mime/TMailMessageVrex.h"
#include "mail/smtp/TSMTPVrex.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Cost {
  double wall = 0;  // seconds
  double cpu = 0;   // user + system seconds
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

double CpuOfSelf() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return ntohs(address.sin_port);
}

bool Listening(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool open = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(s);
  return open;
}

// Starts a program with its output discarded; returns its process id.
pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

class Sink {
 public:
  Sink(std::string name, std::vector<std::string> args, int port)
      : name_(std::move(name)), port_(port), pid_(Spawn(args)) {
    for (int i = 0; i < 200 && pid_ > 0 && !Listening(port_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ~Sink() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  bool Ready() const { return pid_ > 0 && Listening(port_); }
  const std::string& Name() const { return name_; }
  int Port() const { return port_; }

 private:
  std::string name_;
  int port_;
  pid_t pid_;
};

// A message as the automation layer builds one: a short text body and a base64 file of
// `fileSize` bytes.
std::unique_ptr<MailVrex::TMailMessageVrex> BuiltMessage(std::size_t fileSize) {
  auto message = std::make_unique<MailVrex::TMailMessageVrex>();
  message->SetFrom("Bench", "from@example.com");
  message->ToList.Add("", "to@example.com");
  message->SetSubject("Transfer benchmark");
  message->SetTextBody("The attached file is the load.\r\n");
  std::string file(fileSize, '\0');
  std::uint32_t state = 2463534242u;
  for (char& ch : file) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    ch = static_cast<char>(state);
  }
  message->AttachStream(std::move(file), "load.bin", "application/octet-stream",
                        MailVrex::TEncodingType::etBase64, false);
  message->Rebuild();
  return message;
}

// The CA that a sink speaking STARTTLS made; empty for plain text.
struct Tls {
  std::string ca;
};

Cost SendOurs(MailVrex::TMailMessageVrex& message, int port, const Tls& tls, bool& ok) {
  MailVrex::TSMTPVrex smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = port;
  smtp.MailMessage = &message;
  if (!tls.ca.empty()) {  // the client takes STARTTLS on the way to authentication
    smtp.AuthType = MailVrex::TAuthenticationType::atLogin;
    smtp.UserName = "bench";
    smtp.PassWord = "bench";
  }
  const double cpu = CpuOfSelf();
  const auto begin = Clock::now();
  ok = smtp.Connect() && smtp.Secure() == !tls.ca.empty() && smtp.SendMessage();
  smtp.Disconnect();
  const std::chrono::duration<double> wall = Clock::now() - begin;
  return Cost{wall.count(), CpuOfSelf() - cpu};
}

Cost SendCurl(const std::string& file, int port, const Tls& tls, bool& ok) {
  std::vector<std::string> args = {"/usr/bin/curl",
                                   "-s",
                                   "-S",
                                   "--upload-file",
                                   file,
                                   "--mail-from",
                                   "from@example.com",
                                   "--mail-rcpt",
                                   "to@example.com",
                                   "smtp://127.0.0.1:" + std::to_string(port)};
  if (!tls.ca.empty()) args.insert(args.begin() + 1, {"--ssl-reqd", "--cacert", tls.ca});
  const auto begin = Clock::now();
  const pid_t pid = Spawn(args);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const std::chrono::duration<double> wall = Clock::now() - begin;
  ok = pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return Cost{wall.count(), Seconds(usage.ru_utime) + Seconds(usage.ru_stime)};
}

Cost Median(std::vector<Cost> costs) {
  auto middle = [&costs](auto member) {
    std::vector<double> values;
    for (const Cost& c : costs) values.push_back(c.*member);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  return Cost{middle(&Cost::wall), middle(&Cost::cpu)};
}

void Measure(const Sink& sink, std::size_t fileSize, int runs, const Tls& tls = {}) {
  auto message = BuiltMessage(fileSize);
  std::vector<Cost> ours;
  std::vector<Cost> curl;
  bool allOk = true;
  const std::string file = "/tmp/pellam-smtp-bench-" + std::to_string(::getpid()) + ".eml";
  std::size_t textSize = 0;
  for (int run = 0; run < runs; ++run) {
    bool ok = false;
    ours.push_back(SendOurs(*message, sink.Port(), tls, ok));
    allOk = allOk && ok;
    if (run == 0) {  // the text as sent, Message-ID and Date included
      const std::string text = message->GetSourceText();
      textSize = text.size();
      std::ofstream(file, std::ios::binary)
          .write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    curl.push_back(SendCurl(file, sink.Port(), tls, ok));
    allOk = allOk && ok;
  }
  std::remove(file.c_str());
  const Cost a = Median(ours);
  const Cost b = Median(curl);
  std::printf("%-11s %10zu %4d %10.4f %10.4f %10.4f %10.4f %7.2f %7.2f %9.2f%s\n",
              sink.Name().c_str(), textSize, runs, a.wall, a.cpu, b.wall, b.cpu, a.wall / b.wall,
              a.cpu / b.cpu, (a.wall - a.cpu) * 1000, allOk ? "" : "  (a send failed)");
  std::fflush(stdout);
}

}  // namespace

// A message of about `kib` KiB, and how often to send it.
void MeasureText(const Sink& sink, std::size_t kib) {
  Measure(sink, kib * 1024 / 78 * 57, kib <= 1024 ? 21 : (kib <= 65536 ? 5 : 3));
}

// The discard sink speaking STARTTLS, with certificates of its own that only this run trusts.
void MeasureTls() {
  char pattern[] = "/tmp/pellam-smtp-bench-tls-XXXXXX";
  if (!::mkdtemp(pattern)) return;
  const std::string folder = pattern;
  const Tls tls{folder + "/ca.pem"};
  ::setenv("SSL_CERT_FILE", tls.ca.c_str(), 1);  // OpenSSL's trusted roots, for this process
  {
    const int port = FreePort();
    Sink sink("discard-tls",
              {PELLAM_PYTHON, std::string(PELLAM_SOURCE_DIR) + "/benchmarks/discard_sink.py",
               std::to_string(port), "--starttls", folder},
              port);
    if (sink.Ready()) {
      Measure(sink, 64u << 20, 3, tls);
    } else {
      std::printf("discard sink with STARTTLS did not start\n");
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes;
  const bool tlsOnly = argc == 2 && std::string(argv[1]) == "tls";
  for (int i = 1; i < argc && !tlsOnly; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {200, 20 * 1024, 200 * 1024};
  // The peers compared against: named here rather than surfacing as a failed send.
  for (const char* tool : {"/usr/sbin/smtp-sink", "/usr/bin/curl", PELLAM_PYTHON}) {
    if (::access(tool, X_OK) != 0) {
      std::fprintf(stderr, "smtp_bench: %s is missing (scripts/setup installs it)\n", tool);
      return 2;
    }
  }

  std::printf("%-11s %10s %4s %10s %10s %10s %10s %7s %7s %9s\n", "sink", "bytes", "runs", "wall s",
              "cpu s", "curl wall", "curl cpu", "wall x", "cpu x", "idle ms");
  std::printf(
      "(medians; ours: Connect + SendMessage + Disconnect in this process; curl: one "
      "process per send; idle = our wall - our cpu)\n");
  if (tlsOnly) {
    MeasureTls();
    return 0;
  }
  const int sinkPort = FreePort();
  {
    // smtp-sink refuses to run as root unless told whom to become.
    std::vector<std::string> args = {"/usr/sbin/smtp-sink", "-c",
                                     "127.0.0.1:" + std::to_string(sinkPort), "100"};
    if (::geteuid() == 0) args.insert(args.begin() + 1, {"-u", "nobody"});
    Sink sink("smtp-sink", args, sinkPort);
    if (!sink.Ready()) std::printf("smtp-sink did not start\n");
    for (std::size_t kib : sizes) {
      if (sink.Ready()) MeasureText(sink, kib);
    }
  }
  {
    const int discardPort = FreePort();
    Sink sink("discard",
              {PELLAM_PYTHON, std::string(PELLAM_SOURCE_DIR) + "/benchmarks/discard_sink.py",
               std::to_string(discardPort)},
              discardPort);
    if (!sink.Ready()) std::printf("discard sink did not start\n");
    for (std::size_t kib : sizes) {
      if (sink.Ready()) MeasureText(sink, kib);
    }
  }
  MeasureTls();
  return 0;
}
