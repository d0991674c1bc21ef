// Finds the real SMTP server (aiosmtpd_server.py) for the client tests: the one a CTest fixture
// started, named by PELLAM_AIOSMTPD_STATE, or natively one started here for this process.
#pragma once

#include <string>
#include <vector>

namespace pellam_test {

struct RealSmtpServer {
  int port = 0;         // every mechanism: CRAM-MD5, LOGIN, PLAIN
  int loginPort = 0;    // AUTH LOGIN only
  std::string folder;   // delivered messages, as this program must name the folder
  std::string problem;  // why there is none, when there is none
};

// The server of this test program; started at the first call where that is possible.
const RealSmtpServer& TheRealSmtpServer();

// The raw bytes delivered for the message with this Message-ID ("<...>"), and its envelope lines.
std::string DeliveredMessage(const RealSmtpServer& server, const std::string& messageId);
std::string DeliveredEnvelope(const RealSmtpServer& server, const std::string& messageId);
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
