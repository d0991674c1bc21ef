// Connect of the SMTP client against the scripted server: greeting, HELO, EHLO with AUTH LOGIN and
// AUTH CRAM-MD5, replies in pieces, refusals, silence and a server that closes at each step.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "mail/codec/MailError.h"
#include "mail/smtp/TSMTPVrex.h"
#include "tests/smtp/ScriptedServer.h"
#include "tests/smtp/SmtpClientSupport.h"

namespace {

using namespace pellam_test;  // NOLINT: the test support's names read as the dialogue
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using testing::StartsWith;

// RFC 2195's own example exchange.
constexpr const char* kRfcChallenge = "PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+";
constexpr const char* kRfcResponse = "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw";
// base64 of "pellam" and "secret".
constexpr const char* kUser64 = "cGVsbGFt";
constexpr const char* kPass64 = "c2VjcmV0";

TEST(TSMTPVrexConnect, GreetsWithHeloAndBecomesReady) {
  ScriptedServer server;
  GreetAndHelo(server);
  TSMTPVrex smtp;
  ConnectWithHelo(smtp, server);
  EXPECT_EQ(smtp.State(), TSMTPState::Ready);
  EXPECT_EQ(smtp.LastReply(), "250 hello\r\n");
  smtp.Disconnect();
  EXPECT_FALSE(smtp.Connected());
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
  ASSERT_TRUE(server.WaitPeerClosed());
  EXPECT_THAT(server.Received(), StartsWith("HELO "));
  EXPECT_EQ(AfterFirstLine(server.Received()), "");  // no QUIT, nothing else
}

TEST(TSMTPVrexConnect, EmptyHostFailsWithoutOpening) {
  TSMTPVrex smtp;
  EXPECT_FALSE(smtp.Connect());
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
}

TEST(TSMTPVrexConnect, SecondConnectIsRefusedAndLeavesTheConnection) {
  ScriptedServer server;
  GreetAndHelo(server).ReadLine().Send("250 still here\r\n");
  TSMTPVrex smtp;
  ConnectWithHelo(smtp, server);
  EXPECT_FALSE(smtp.Connect());
  EXPECT_TRUE(smtp.Connected());
  EXPECT_EQ(smtp.LastReply(), "250 hello\r\n");
}

struct GreetingCase {
  const char* name;
  std::vector<std::string> pieces;  // sent apart, each after a pause
  bool connected;
  const char* lastReply;  // after HELO when greeted, else the greeting
};

class GreetingInPieces : public testing::TestWithParam<GreetingCase> {};

TEST_P(GreetingInPieces, IsCompleteOnlyWithItsFinalLine) {
  const auto& c = GetParam();
  ScriptedServer server;
  for (const auto& piece : c.pieces) server.Pause(milliseconds(100)).Send(piece);
  server.ReadLine().Send("250 hello\r\n");
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  EXPECT_EQ(smtp.Connect(), c.connected);
  EXPECT_EQ(smtp.Connected(), c.connected);
  EXPECT_EQ(smtp.LastReply(), c.lastReply);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GreetingInPieces,
    testing::Values(GreetingCase{"Whole", {"220 hi\r\n"}, true, "250 hello\r\n"},
                    GreetingCase{"CodeSplit", {"22", "0 hi\r\n"}, true, "250 hello\r\n"},
                    GreetingCase{"CrApart", {"220 hi\r", "\n"}, true, "250 hello\r\n"},
                    GreetingCase{"MultiLineSplit",
                                 {"220-welcome\r\n", "220-more\r\n", "220 ready\r\n"},
                                 true,
                                 "250 hello\r\n"},
                    GreetingCase{"Refused554", {"554 no service\r\n"}, false, "554 no service\r\n"},
                    GreetingCase{"RefusedMultiLine",
                                 {"554-no\r\n", "554 service\r\n"},
                                 false,
                                 "554-no\r\n554 service\r\n"}),
    [](const auto& test) { return test.param.name; });

TEST(TSMTPVrexConnect, RefusedGreetingLeavesTheSocketOpenUntilDisconnect) {
  ScriptedServer server;
  server.Send("554 go away\r\n");
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  EXPECT_FALSE(smtp.Connect());
  EXPECT_EQ(smtp.State(), TSMTPState::OpenNotConnected);
  EXPECT_FALSE(smtp.Connect());  // refused while the socket is open
  smtp.Disconnect();
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
  ASSERT_TRUE(server.WaitPeerClosed());
  EXPECT_EQ(server.Received(), "");  // no HELO after a refused greeting
}

TEST(TSMTPVrexConnect, RefusedHeloFails) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().Send("501 who are you\r\n");
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  EXPECT_FALSE(smtp.Connect());
  EXPECT_EQ(smtp.State(), TSMTPState::OpenNotConnected);
  EXPECT_EQ(smtp.LastReply(), "501 who are you\r\n");
}

TEST(TSMTPVrexConnect, RefusalEndsTheWaitAtOnceAndContinuationLinesDoNot) {
  ScriptedServer server;
  server.Send("220 hi\r\n")
      .ReadLine()
      .Send("550-first\r\n")
      .Pause(milliseconds(300))
      .Send("550 last\r\n");
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  smtp.SetTimeOut(30);
  const auto begin = steady_clock::now();
  EXPECT_FALSE(smtp.Connect());
  EXPECT_EQ(smtp.LastReply(), "550-first\r\n550 last\r\n");
  EXPECT_LT(steady_clock::now() - begin, std::chrono::seconds(10));  // far below the time-out
}

TEST(TSMTPVrexConnect, SilentServerTimesOutWithEmptyReply) {
  ScriptedServer server;
  server.Pause(milliseconds(4000));
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  smtp.SetTimeOut(1);
  EXPECT_FALSE(smtp.Connect());
  EXPECT_EQ(smtp.LastReply(), "");
  EXPECT_FALSE(smtp.Connected());
}

// Each piece restarts the time-out; the greeting as a whole still has its bound.
TEST(TSMTPVrexConnect, DrippingGreetingFailsWithinItsBound) {
  for (const int timeOut : {1, 3}) {
    const int bound = timeOut * MailVrex::TSocketTalk::ReplyTimeOutMultiple;
    ScriptedServer server;
    server.Send("220-");
    // Goes on far beyond three times the bound.
    for (int i = 0; i < 16 * bound; ++i) server.Pause(milliseconds(250)).Send("x");
    server.Start();
    TSMTPVrex smtp;
    PointAt(smtp, server);
    smtp.SetTimeOut(timeOut);
    const auto begin = steady_clock::now();
    EXPECT_FALSE(smtp.Connect());
    const auto spent = steady_clock::now() - begin;
    EXPECT_GE(spent, std::chrono::seconds(bound)) << timeOut;
    EXPECT_LT(spent, std::chrono::seconds(3 * bound)) << timeOut;
    EXPECT_FALSE(smtp.Connected());
  }
}

// The first attempt's connection is never completed; the second goes to the new port.
TEST(TSMTPVrexConnect, NewConnectAbandonsAnAttemptThatTimedOutWhileConnecting) {
  StalledListener stalled;
  TSMTPVrex smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = stalled.Port();
  smtp.SetTimeOut(1);
  EXPECT_FALSE(smtp.Connect());
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
  ScriptedServer server;
  GreetAndHelo(server);
  server.Start();
  smtp.Port = server.Port();
  EXPECT_TRUE(smtp.Connect()) << smtp.LastReply();
}

#ifndef _WIN32
// With no descriptor left the socket cannot be made: the platform's error comes out as the one
// error type of the library, with its text, and nothing is left half open.
TEST(TSMTPVrexConnect, SocketThatCannotBeMadeRaisesMailError) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizers' runtime needs descriptors of its own to check the exception object.
  GTEST_SKIP() << "needs a process with descriptors to spare";
#endif
  TSMTPVrex smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = ScriptedServer::UnusedPort();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowestFree = ::dup(0);
  ASSERT_GE(lowestFree, 0);
  ::close(lowestFree);
  rlimit none = saved;
  none.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
  std::string error;
  try {
    smtp.Connect();
  } catch (const MailVrex::MailError& raised) {
    error = raised.what();
  } catch (...) {
    error = "another type";
  }
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_THAT(error, testing::HasSubstr("socket"));
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
}
#endif

TEST(TSMTPVrexConnect, TimeOutZeroWaitsForASlowGreeting) {
  ScriptedServer server;
  server.Pause(milliseconds(1500));
  GreetAndHelo(server);
  TSMTPVrex smtp;
  server.Start();
  PointAt(smtp, server);
  smtp.SetTimeOut(0);
  EXPECT_TRUE(smtp.Connect());
}

TEST(TSMTPVrexConnect, TimeOutZeroEndsWhenTheServerCloses) {
  ScriptedServer server;
  server.Pause(milliseconds(500)).Close();
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  smtp.SetTimeOut(0);
  EXPECT_FALSE(smtp.Connect());
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
}

TEST(TSMTPVrexConnect, RefusedPortFails) {
  TSMTPVrex smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = ScriptedServer::UnusedPort();
  smtp.SetTimeOut(5);
  EXPECT_FALSE(smtp.Connect());
  EXPECT_EQ(smtp.LastReply(), "");
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
}

TEST(TSMTPVrexConnect, HostNameIsLookedUp) {
  ScriptedServer server;
  GreetAndHelo(server);
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  smtp.Host = "localhost";
  EXPECT_TRUE(smtp.Connect());
}

// ---- EHLO and authentication
// ---------------------------------------------------------------------

struct AuthCase {
  const char* name;
  const char* user;
  const char* password;
  std::vector<std::string> ehloPieces;
  // The server's answers to each line after EHLO, in order.
  std::vector<std::string> answers;
  bool connected;
  // Lines the client sent after EHLO.
  std::string sent;
};

class EhloAuthentication : public testing::TestWithParam<AuthCase> {};

TEST_P(EhloAuthentication, RunsTheOfferedMechanism) {
  const auto& c = GetParam();
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine();
  for (const auto& piece : c.ehloPieces) server.Pause(milliseconds(80)).Send(piece);
  for (const auto& answer : c.answers) server.ReadLine().Send(answer);
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  smtp.AuthType = TAuthenticationType::atLogin;
  smtp.UserName = c.user;
  smtp.PassWord = c.password;
  EXPECT_EQ(smtp.Connect(), c.connected) << smtp.LastReply();
  EXPECT_EQ(smtp.State(), c.connected ? TSMTPState::Ready : TSMTPState::Closed);
  smtp.Disconnect();
  ASSERT_TRUE(server.WaitPeerClosed());
  EXPECT_THAT(server.Received(), StartsWith("EHLO "));
  EXPECT_EQ(AfterFirstLine(server.Received()), c.sent);
}

const std::string kLoginSent = std::string("AUTH LOGIN\r\n") + kUser64 + "\r\n" + kPass64 + "\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, EhloAuthentication,
    testing::Values(
        AuthCase{"Login",
                 "pellam",
                 "secret",
                 {"250-srv\r\n250 AUTH LOGIN\r\n"},
                 {"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n"},
                 true,
                 kLoginSent},
        AuthCase{"OldFormAuthEquals",
                 "pellam",
                 "secret",
                 {"250-srv\r\n250-AUTH=LOGIN\r\n250 HELP\r\n"},
                 {"334 x\r\n", "334 y\r\n", "235 ok\r\n"},
                 true,
                 kLoginSent},
        AuthCase{"EhloLinesInPieces",
                 "pellam",
                 "secret",
                 {"250-srv\r\n", "250-SIZE 100\r\n", "250-AUTH", " LOGIN\r\n", "250 HELP\r\n"},
                 {"334 x\r\n", "334 y\r\n", "235 ok\r\n"},
                 true,
                 kLoginSent},
        AuthCase{"CramMD5",
                 "tim",
                 "tanstaaftanstaaf",
                 {"250-srv\r\n250 AUTH CRAM-MD5\r\n"},
                 {std::string("334 ") + kRfcChallenge + "\r\n", "235 ok\r\n"},
                 true,
                 std::string("AUTH CRAM-MD5\r\n") + kRfcResponse + "\r\n"},
        AuthCase{"LoginPasswordRefused",
                 "pellam",
                 "secret",
                 {"250-srv\r\n250 AUTH LOGIN\r\n"},
                 {"334 x\r\n", "334 y\r\n", "535 no\r\n"},
                 false,
                 kLoginSent},
        AuthCase{"PlainOnly", "pellam", "secret", {"250-srv\r\n250 AUTH PLAIN\r\n"}, {}, false, ""},
        AuthCase{"OneLineEhlo", "pellam", "secret", {"250 srv\r\n"}, {}, false, ""},
        AuthCase{"NoCredentials", "", "", {"250-srv\r\n250 AUTH LOGIN\r\n"}, {}, false, ""},
        AuthCase{"EhloRefused", "pellam", "secret", {"502 no ehlo\r\n"}, {}, false, ""},
        AuthCase{
            "AuthLineOnlyInFirstLine", "pellam", "secret", {"250 AUTH LOGIN\r\n"}, {}, false, ""}),
    [](const auto& test) { return test.param.name; });

TEST(TSMTPVrexAuth, FallbackToLoginFollowsTheRefusedCramMD5OnTheSameConnection) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().Send("250-srv\r\n250 AUTH LOGIN CRAM-MD5\r\n");
  server.ReadLine().Send(std::string("334 ") + kRfcChallenge + "\r\n");
  server.ReadLine().Send("535 bad digest\r\n");
  server.ReadLine().Send("334 x\r\n").ReadLine().Send("334 y\r\n").ReadLine().Send("235 ok\r\n");
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  smtp.AuthType = TAuthenticationType::atLogin;
  smtp.UserName = "tim";
  smtp.PassWord = "tanstaaftanstaaf";
  EXPECT_TRUE(smtp.Connect());
  EXPECT_EQ(smtp.LastReply(), "235 ok\r\n");
  smtp.Disconnect();
  ASSERT_TRUE(server.WaitPeerClosed());
  EXPECT_EQ(AfterFirstLine(server.Received()),
            std::string("AUTH CRAM-MD5\r\n") + kRfcResponse +
                "\r\nAUTH LOGIN\r\ndGlt\r\ndGFuc3RhYWZ0YW5zdGFhZg==\r\n");
}

// ---- The server closes the connection
// ------------------------------------------------------------

struct CloseCase {
  const char* name;
  TAuthenticationType auth;
  int readsBeforeClose;  // lines the server reads (answering all but the last) before it closes
  std::vector<std::string> answers;
};

class ServerClosesDuringConnect : public testing::TestWithParam<CloseCase> {};

TEST_P(ServerClosesDuringConnect, FailsAndIsClosed) {
  const auto& c = GetParam();
  ScriptedServer server;
  if (c.readsBeforeClose > 0) server.Send("220 hi\r\n");
  for (int i = 0; i < c.readsBeforeClose; ++i) {
    server.ReadLine();
    if (i + 1 < c.readsBeforeClose) server.Send(c.answers[static_cast<std::size_t>(i)]);
  }
  server.Close();
  server.Start();
  TSMTPVrex smtp;
  PointAt(smtp, server);
  smtp.AuthType = c.auth;
  smtp.UserName = "pellam";
  smtp.PassWord = "secret";
  EXPECT_FALSE(smtp.Connect());
  EXPECT_FALSE(smtp.Connected());
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerClosesDuringConnect,
    testing::Values(
        CloseCase{"AtGreeting", TAuthenticationType::atNone, 0, {}},
        CloseCase{"AtHelo", TAuthenticationType::atNone, 1, {}},
        CloseCase{"AtEhlo", TAuthenticationType::atLogin, 1, {}},
        CloseCase{"AtAuth", TAuthenticationType::atLogin, 2, {"250-srv\r\n250 AUTH LOGIN\r\n"}},
        CloseCase{"AtAuthPassword",
                  TAuthenticationType::atLogin,
                  4,
                  {"250-srv\r\n250 AUTH LOGIN\r\n", "334 x\r\n", "334 y\r\n"}}),
    [](const auto& test) { return test.param.name; });

TEST(TSMTPVrexCapability, FindsTheFirstLineWithThePrefixIgnoringCase) {
  const std::vector<std::string> lines = {"250-srv", "250 auth login", "srv", "auth login",
                                          "AUTH PLAIN"};
  EXPECT_EQ(TSMTPVrex::FindCapability("AUTH ", lines), "auth login");
  EXPECT_EQ(TSMTPVrex::FindCapability("auth=", lines), "");
  EXPECT_EQ(TSMTPVrex::FindCapability("SIZE", {}), "");
}

}  // namespace
