// The TLS session against real TLS servers on 127.0.0.1 (tls_test_servers.py), with
// certificates from a test CA that the tests trust and from one that nobody trusts.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>

#include "platform/TlsSession.h"
#include "tests/platform/TlsTestLink.h"

using pellam_test::TlsTestLink;
using pellam_test::TlsTestPort;
using platform::TlsSession;
using platform::TlsState;

namespace {

const std::string kGreeting = "220 pellam-tls-test\r\n";
// Pieces that split records anywhere and others that hold several records.
const std::vector<std::size_t> kOddPieces = {1, 2, 3, 700, 5, 16389, 4097, 100000, 13, 33333};

std::string RandomBytes(std::size_t size) {
  std::mt19937 generator(13);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

bool OneLine(const std::string& text) {
  return !text.empty() && text.find_first_of("\r\n") == std::string::npos;
}

// OpenSSL has TLS 1.3 everywhere; SChannel only on newer Windows, and Wine 8's not at all.
constexpr bool kTls13Required = PELLAM_TLS13_REQUIRED;

struct EchoCase {
  const char* server;
  const char* protocol;  // what the session reports
};
void PrintTo(const EchoCase& c, std::ostream* out) {
  *out << c.server;
}

class TlsEcho : public ::testing::TestWithParam<EchoCase> {};

TEST_P(TlsEcho, CarriesSeveralMebibytesBothWaysInOddPiecesAndClosesCleanly) {
  TlsTestLink link(TlsTestPort(GetParam().server), "localhost", kOddPieces);
  const bool established = link.RunUntilState(TlsState::Established);
  if (!established && !kTls13Required && std::string(GetParam().protocol) == "TLS 1.3") {
    GTEST_SKIP() << "this system's TLS has no TLS 1.3: " << link.Session().Failure();
  }
  ASSERT_TRUE(established) << link.Session().Failure();
  EXPECT_EQ(link.Session().Protocol(), GetParam().protocol);
  ASSERT_TRUE(link.RunUntil([&] { return link.Received().size() >= kGreeting.size(); }));
  EXPECT_EQ(link.Received(), kGreeting);

  const std::string data = RandomBytes((5 << 20) + 7);
  link.Write(data);
  const std::size_t expected = kGreeting.size() + data.size();
  ASSERT_TRUE(link.RunUntil([&] { return link.Received().size() >= expected; }))
      << link.Received().size() << " of " << expected << " bytes came back; "
      << link.Session().Failure();
  EXPECT_TRUE(link.Received().compare(kGreeting.size(), std::string::npos, data) == 0);

  // The server answers our close_notify with its own, and only a close_notify.
  link.Close();
  EXPECT_EQ(link.Session().State(), TlsState::Closing);
  EXPECT_THROW(link.Session().Write("late"), std::logic_error);
  ASSERT_TRUE(link.RunUntilState(TlsState::Closed));
  EXPECT_TRUE(link.ClosedByServer());
  EXPECT_EQ(link.Received().size(), expected);
}

INSTANTIATE_TEST_SUITE_P(Versions, TlsEcho,
                         ::testing::Values(EchoCase{"echo12", "TLS 1.2"},
                                           EchoCase{"echo13", "TLS 1.3"}),
                         [](const auto& test) { return std::string(test.param.server); });

struct NameCase {
  const char* label;
  const char* server;
  const char* serverName;
  const char* failure;  // empty: the session is established
};
void PrintTo(const NameCase& c, std::ostream* out) {
  *out << c.label;
}

class TlsServerName : public ::testing::TestWithParam<NameCase> {};

TEST_P(TlsServerName, IsCheckedAgainstTheCertificate) {
  const NameCase& c = GetParam();
  TlsTestLink link(TlsTestPort(c.server), c.serverName);
  link.RunUntil(
      [&] { return link.Session().State() == TlsState::Failed || link.Received() == kGreeting; });
  if (*c.failure == '\0') {
    EXPECT_EQ(link.Session().State(), TlsState::Established) << link.Session().Failure();
    EXPECT_EQ(link.Received(), kGreeting);
  } else {
    EXPECT_EQ(link.Session().State(), TlsState::Failed);
    EXPECT_EQ(link.Session().Failure(), c.failure);
    EXPECT_EQ(link.Received(), "");
  }
}

constexpr char kNotTrusted[] = "TLS: the server's certificate is not trusted";
constexpr char kOtherHost[] = "TLS: the server's certificate names another host";

INSTANTIATE_TEST_SUITE_P(
    Certificates, TlsServerName,
    ::testing::Values(NameCase{"HostName", "echo", "localhost", ""},
                      NameCase{"HostNameInOtherCase", "echo", "LOCALHOST", ""},
                      NameCase{"AddressInIpEntry", "echo", "127.0.0.1", ""},
                      NameCase{"UntrustedIssuer", "untrusted", "localhost", kNotTrusted},
                      NameCase{"OtherHostName", "otherhost", "localhost", kOtherHost},
                      NameCase{"AddressOnlyInDnsEntry", "otherhost", "127.0.0.1", kOtherHost}),
    [](const auto& test) { return std::string(test.param.label); });

struct BrokenCase {
  const char* server;
  const char* failure;  // ending in ": ": the start of the failure, the library's words follow
};
void PrintTo(const BrokenCase& c, std::ostream* out) {
  *out << c.server;
}

class TlsBrokenServer : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(TlsBrokenServer, FailsTheHandshakeWithOneLine) {
  const BrokenCase& c = GetParam();
  TlsTestLink link(TlsTestPort(c.server), "localhost", {1, 3, 64});
  link.RunUntilState(TlsState::Failed);
  const std::string failure = link.Session().Failure();
  ASSERT_EQ(link.Session().State(), TlsState::Failed) << static_cast<int>(link.Session().State());
  EXPECT_TRUE(OneLine(failure)) << failure;
  const std::string expected = c.failure;
  if (expected.back() == ' ') {
    EXPECT_EQ(failure.substr(0, expected.size()), expected) << failure;
    EXPECT_GT(failure.size(), expected.size()) << failure;
  } else {
    EXPECT_EQ(failure, expected);
  }
  EXPECT_THROW(link.Session().Write("never"), std::logic_error);
}

INSTANTIATE_TEST_SUITE_P(
    Handshake, TlsBrokenServer,
    ::testing::Values(
        BrokenCase{"hangup", "TLS: the server closed the connection during the handshake"},
        BrokenCase{"plain", "TLS: handshake failed: the server did not answer in TLS"},
        BrokenCase{"junk", "TLS: handshake failed: "},
        BrokenCase{"old", "TLS: handshake failed: "}),
    [](const auto& test) { return std::string(test.param.server); });

TEST(TlsSession, RefusesNamesNoCertificateHolds) {
  for (const std::string& name : {std::string(), std::string("mail example.com"),
                                  std::string("a\0b", 3), std::string("bad\r\nname")}) {
    TlsSession session(name);
    EXPECT_EQ(session.State(), TlsState::Failed) << name;
    EXPECT_EQ(session.Failure(), "TLS: the host name cannot be checked against a certificate");
    EXPECT_TRUE(session.Output().empty());
  }
}

TEST(TlsSession, OpensWithAHelloAndRefusesDataBeforeTheHandshake) {
  TlsSession session("localhost");
  EXPECT_EQ(session.State(), TlsState::Handshaking);
  ASSERT_GT(session.Output().size(), 5u);
  EXPECT_EQ(session.Output()[0], '\x16');  // a handshake record
  EXPECT_THROW(session.Write("early"), std::logic_error);
}

}  // namespace
