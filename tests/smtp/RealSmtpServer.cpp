// Finds the real SMTP server (aiosmtpd_server.py) for the client tests: the one a CTest fixture
// started, named by PELLAM_AIOSMTPD_STATE, or natively one started here for this process.
#include "tests/smtp/RealSmtpServer.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <utility>

#ifndef _WIN32
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace pellam_test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A Unix path as this program opens it: under Wine the Unix root is drive Z:.
std::string LocalPath(const std::string& unixPath) {
#ifdef _WIN32
  return "Z:" + unixPath;
#else
  return unixPath;
#endif
}

RealSmtpServer ReadState(const std::string& stateFile) {
  RealSmtpServer server;
  std::istringstream lines(ReadFile(stateFile));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "port") server.port = std::atoi(value.c_str());
    if (key == "login_port") server.loginPort = std::atoi(value.c_str());
    if (key == "folder") server.folder = LocalPath(value);
    if (key == "tls_folder") server.tlsFolder = LocalPath(value);
    if (key == "tls_certs") server.tlsCa = LocalPath(value) + "/ca.pem";
    if (key == "implicit_problem") server.implicitProblem = value;
    if (key.ends_with("_port") && key != "login_port") {
      server.tlsPorts[key.substr(0, key.size() - 5)] = std::atoi(value.c_str());
    }
  }
  if (server.port == 0 || server.loginPort == 0 || server.folder.empty()) {
    server.problem = "no server state in " + stateFile;
  }
  return server;
}

RealSmtpServer NoServer(std::string why) {
  RealSmtpServer none;
  none.problem = std::move(why);
  return none;
}

// The message file name the server chose: the Message-ID without brackets, made file-safe.
std::string FileStem(std::string messageId) {
  if (messageId.size() >= 2 && messageId.front() == '<' && messageId.back() == '>') {
    messageId = messageId.substr(1, messageId.size() - 2);
  }
  for (char& ch : messageId) {
    const bool safe = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                      (ch >= '0' && ch <= '9') || ch == '.' || ch == '@' || ch == '_' || ch == '-';
    if (!safe) ch = '_';
  }
  return messageId;
}

#ifndef _WIN32
// A server of this process alone, stopped when the process ends.
class OwnServer {
 public:
  OwnServer() {
    char pattern[] = "/tmp/pellam-smtp-XXXXXX";
    if (!::mkdtemp(pattern)) return;
    folder_ = pattern;
    state_ = folder_ + "/state";
    const std::string script = std::string(PELLAM_SOURCE_DIR) + "/tests/smtp/aiosmtpd_server.py";
    const std::string mail = folder_ + "/mail";
    const char* argv[] = {PELLAM_PYTHON, script.c_str(), "--state", state_.c_str(),
                          "--folder",    mail.c_str(),   nullptr};
    if (::posix_spawn(&pid_, PELLAM_PYTHON, nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0) {
      pid_ = 0;
    }
  }
  ~OwnServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  OwnServer(const OwnServer&) = delete;
  OwnServer& operator=(const OwnServer&) = delete;

  RealSmtpServer WaitReady() const {
    if (pid_ <= 0) return NoServer("could not start " PELLAM_PYTHON);
    for (int i = 0; i < 200; ++i) {
      if (std::filesystem::exists(state_)) return ReadState(state_);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return NoServer("aiosmtpd_server.py did not start");
  }

 private:
  std::string folder_;
  std::string state_;
  pid_t pid_ = 0;
};
#endif

RealSmtpServer FindServer() {
  if (const char* state = std::getenv("PELLAM_AIOSMTPD_STATE"); state && *state) {
    return ReadState(LocalPath(state));
  }
#ifdef _WIN32
  return NoServer("PELLAM_AIOSMTPD_STATE is not set (CTest fixture aiosmtpd)");
#else
  static OwnServer own;
  return own.WaitReady();
#endif
}

}  // namespace

const RealSmtpServer& TheRealSmtpServer() {
  static const RealSmtpServer server = FindServer();
  return server;
}

std::string DeliveredMessage(const RealSmtpServer& server, const std::string& messageId) {
  return ReadFile(server.folder + "/" + FileStem(messageId) + ".eml");
}

PythonReading DeliveredParts(const RealSmtpServer& server, const std::string& messageId) {
  PythonReading reading;
  std::istringstream lines(ReadFile(server.folder + "/" + FileStem(messageId) + ".parts"));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "defects") words >> reading.defects;
    if (kind == "error") words >> reading.error;
    if (kind != "part") continue;
    DeliveredPart part;
    std::string hex;
    words >> part.type >> part.encoding >> hex;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
      part.payload.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    reading.parts.push_back(std::move(part));
  }
  return reading;
}

std::string DeliveredEnvelope(const RealSmtpServer& server, const std::string& messageId) {
  return ReadFile(server.folder + "/" + FileStem(messageId) + ".env");
}

std::string DeliveredMd5(const RealSmtpServer& server, const std::string& messageId) {
  return ReadFile(server.folder + "/" + FileStem(messageId) + ".md5");
}

void RemoveDelivery(const RealSmtpServer& server, const std::string& messageId) {
  std::error_code ignored;
  for (const char* suffix : {".eml", ".env", ".md5", ".parts", ".read"}) {
    std::filesystem::remove(server.folder + "/" + FileStem(messageId) + suffix, ignored);
  }
}

std::vector<std::vector<std::string>> ListenerCommands(const RealSmtpServer& server,
                                                       const std::string& listener,
                                                       std::vector<std::string>* senders) {
  std::vector<std::vector<std::string>> connections;
  std::istringstream lines(ReadFile(server.tlsFolder + "/" + listener + ".log"));
  for (std::string line; std::getline(lines, line);) {
    // "conn N tls=X COMMAND ARGUMENTS"
    std::istringstream words(line);
    std::string conn, tls, command, argument;
    std::size_t number = 0;
    words >> conn >> number >> tls >> command >> argument;
    if (number == 0) continue;
    for (char& ch : command) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (command == "AUTH") command += " " + argument;
    if (connections.size() < number) connections.resize(number);
    connections[number - 1].push_back(tls + " " + command);
    if (senders && command == "MAIL") {
      if (senders->size() < number) senders->resize(number);
      (*senders)[number - 1] += line;
    }
  }
  return connections;
}

std::vector<std::string> CommandsOfSender(const RealSmtpServer& server, const std::string& listener,
                                          const std::string& sender) {
  std::vector<std::string> senders;
  const auto connections = ListenerCommands(server, listener, &senders);
  for (std::size_t i = 0; i < senders.size(); ++i) {
    if (senders[i].find("<" + sender + ">") != std::string::npos) return connections[i];
  }
  return {};
}

std::string DeliveredReading(const RealSmtpServer& server, const std::string& messageId) {
  return ReadFile(server.folder + "/" + FileStem(messageId) + ".read");
}

}  // namespace pellam_test
