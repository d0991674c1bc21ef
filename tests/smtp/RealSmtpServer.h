// Finds the real SMTP server (aiosmtpd_server.py) for the client tests: the one a CTest fixture
// started, named by PELLAM_AIOSMTPD_STATE, or natively one started here for this process.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pellam_test {

struct RealSmtpServer {
  int port = 0;         // every mechanism: CRAM-MD5, LOGIN, PLAIN
  int loginPort = 0;    // AUTH LOGIN only
  std::string folder;   // delivered messages, as this program must name the folder
  std::string problem;  // why there is none, when there is none
  // With --tls-folder: the TLS listeners by name ("starttls", "implicit", ...), the folder of
  // their command logs, the CA to trust, and why the implicit-TLS one (port 465) is missing.
  std::map<std::string, int> tlsPorts;
  std::string tlsFolder;
  std::string tlsCa;
  std::string implicitProblem;
};

// The server of this test program; started at the first call where that is possible.
const RealSmtpServer& TheRealSmtpServer();

// The raw bytes delivered for the message with this Message-ID ("<...>"), and its envelope lines.
std::string DeliveredMessage(const RealSmtpServer& server, const std::string& messageId);
std::string DeliveredEnvelope(const RealSmtpServer& server, const std::string& messageId);
// The hexadecimal MD5 of those bytes, as the server computed it.
std::string DeliveredMd5(const RealSmtpServer& server, const std::string& messageId);
// Removes what the server saved for that message.
void RemoveDelivery(const RealSmtpServer& server, const std::string& messageId);
// The commands a TLS listener read, one list per connection in order, each "tls=0 WORD" or
// "tls=1 WORD" (the command's name in capitals; for AUTH, "AUTH MECHANISM"); `senders`, when
// given, receives each connection's MAIL lines.
std::vector<std::vector<std::string>> ListenerCommands(const RealSmtpServer& server,
                                                       const std::string& listener,
                                                       std::vector<std::string>* senders = nullptr);
// The one connection of that listener that sent MAIL FROM:<sender>; empty when none did.
std::vector<std::string> CommandsOfSender(const RealSmtpServer& server, const std::string& listener,
                                          const std::string& sender);

// What Python's email package read from that message, as aiosmtpd_server.py records it.
std::string DeliveredReading(const RealSmtpServer& server, const std::string& messageId);

// What Python's email package read from a delivered message: each leaf part with its content
// type, its transfer encoding ("-" when none) and its decoded payload.
struct DeliveredPart {
  std::string type;
  std::string encoding;
  std::string payload;
};
struct PythonReading {
  std::vector<DeliveredPart> parts;
  int defects = -1;   // -1: no reading was found
  std::string error;  // the exception Python raised, if it raised one
};
PythonReading DeliveredParts(const RealSmtpServer& server, const std::string& messageId);

}  // namespace pellam_test
