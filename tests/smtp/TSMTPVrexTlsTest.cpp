// The SMTP client over TLS against aiosmtpd's TLS listeners: STARTTLS before authentication,
// implicit TLS on port 465, no plain-text fallback when TLS is refused or the certificate is
// wrong, and plain text where the script asked for no authentication.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "mail/codec/Md5.h"
#include "mail/mime/TMailMessageVrex.h"
#include "mail/smtp/TSMTPVrex.h"
#include "platform/TlsEngine.h"
#include "tests/smtp/RealSmtpServer.h"

namespace {

using MailVrex::TAuthenticationType;
using MailVrex::TEncodingType;
using MailVrex::TMailMessageVrex;
using MailVrex::TSMTPVrex;
using pellam_test::CommandsOfSender;
using pellam_test::RealSmtpServer;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsSupersetOf;
using testing::Not;
using testing::StartsWith;

class TlsServer : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.problem.empty()) << server.problem;
    ASSERT_FALSE(server.tlsPorts.empty())
        << "the server has no TLS listeners: the CTest fixture smtp_tls starts them";
#ifndef _WIN32
    // OpenSSL reads it when a session starts; under Wine the fixture trusts the CA instead.
    ::setenv("SSL_CERT_FILE", server.tlsCa.c_str(), 1);
#endif
  }

  // A client for the listener, with the test account when `auth` is atLogin.
  static void Aim(TSMTPVrex& client, int port, TAuthenticationType auth) {
    client.Host = "127.0.0.1";
    client.Port = port;
    client.SetTimeOut(10);
    client.AuthType = auth;
    client.UserName = "pellam";
    client.PassWord = "secret";
  }

  // A small message from a sender of its own, by which the listener's log names its connection.
  static void Fill(TMailMessageVrex& message, const std::string& sender) {
    message.SetFrom("", sender);
    message.ToList.Add("", "to@example.com");
    message.SetSubject("over TLS");
    message.Body = "A line.\r\n.\r\nThe end.";
  }

  void ExpectDelivered(TMailMessageVrex& message) {
    std::string expected = message.GetSourceText();
    if (!expected.ends_with("\r\n")) expected += "\r\n";
    EXPECT_EQ(pellam_test::DeliveredMessage(server, message.GetFieldValue("Message-ID")), expected);
  }

  int PortOf(const std::string& listener) {
    const auto found = server.tlsPorts.find(listener);
    return found == server.tlsPorts.end() ? 0 : found->second;
  }

  const RealSmtpServer& server = pellam_test::TheRealSmtpServer();
};

TEST_F(TlsServer, StartTlsComesBeforeEhloAgainAndEachMechanism) {
  struct Case {
    const char* listener;
    const char* auth;
  };
  for (const Case& c : {Case{"starttls", "AUTH CRAM-MD5"}, Case{"starttls_login", "AUTH LOGIN"}}) {
    SCOPED_TRACE(c.listener);
    const std::string sender = std::string("tls-") + c.listener + "@example.com";
    TMailMessageVrex message;
    Fill(message, sender);
    TSMTPVrex smtp;
    Aim(smtp, PortOf(c.listener), TAuthenticationType::atLogin);
    smtp.MailMessage = &message;
    ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
    EXPECT_TRUE(smtp.Secure());
    EXPECT_THAT(smtp.LastReply(), StartsWith("235"));
    ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
    ExpectDelivered(message);
    // The listener offers AUTH only after STARTTLS: the second EHLO's reply is the one to read.
    const std::vector<std::string> commands = CommandsOfSender(server, c.listener, sender);
    ASSERT_GE(commands.size(), 5u);
    EXPECT_THAT(std::vector<std::string>(commands.begin(), commands.begin() + 5),
                ElementsAre("tls=0 EHLO", "tls=0 STARTTLS", "tls=1 EHLO",
                            std::string("tls=1 ") + c.auth, "tls=1 MAIL"));
  }
}

TEST_F(TlsServer, Port465SpeaksTlsFromTheFirstByte) {
  ASSERT_TRUE(server.implicitProblem.empty()) << server.implicitProblem;
  for (TAuthenticationType auth : {TAuthenticationType::atNone, TAuthenticationType::atLogin}) {
    const bool login = auth == TAuthenticationType::atLogin;
    SCOPED_TRACE(login ? "EHLO" : "HELO");
    const std::string sender = login ? "implicit-ehlo@example.com" : "implicit-helo@example.com";
    TMailMessageVrex message;
    Fill(message, sender);
    TSMTPVrex smtp;
    Aim(smtp, 465, auth);
    smtp.MailMessage = &message;
    ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
    EXPECT_TRUE(smtp.Secure());
    ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
    ExpectDelivered(message);
    const std::vector<std::string> commands = CommandsOfSender(server, "implicit", sender);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), login ? "tls=1 EHLO" : "tls=1 HELO");
    EXPECT_THAT(commands, Not(Contains(HasSubstr("tls=0"))));
    EXPECT_THAT(commands, Not(Contains("tls=1 STARTTLS")));
  }
}

// Each failure ends Connect with one line, and the listener never read AUTH nor MAIL.
TEST_F(TlsServer, RefusedTlsOrAWrongCertificateEndsTheConnectionWithoutAuth) {
  struct Case {
    const char* listener;
    std::string reply;
  };
  const std::vector<Case> cases = {
      {"untrusted", std::string(platform::tls_text::kNotTrusted) + "\r\n"},
      {"otherhost", std::string(platform::tls_text::kOtherHost) + "\r\n"},
      {"refusing", "454 4.7.0 TLS not available\r\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listener);
    TSMTPVrex smtp;
    Aim(smtp, PortOf(c.listener), TAuthenticationType::atLogin);
    EXPECT_FALSE(smtp.Connect());
    EXPECT_EQ(smtp.LastReply(), c.reply);
    EXPECT_FALSE(smtp.Secure());
    EXPECT_FALSE(smtp.Connected());
    const auto connections = pellam_test::ListenerCommands(server, c.listener);
    ASSERT_FALSE(connections.empty()) << "the listener was not reached";
    for (const auto& commands : connections) {
      EXPECT_THAT(commands, IsSupersetOf({"tls=0 EHLO", "tls=0 STARTTLS"}));
      for (const std::string& command : commands) {
        EXPECT_THAT(command, Not(HasSubstr("AUTH")));
        EXPECT_THAT(command, Not(HasSubstr("MAIL")));
      }
    }
  }
}

// The listener offers STARTTLS and AUTH in the clear: authentication takes STARTTLS all the
// same, and a script without authentication stays with plain HELO.
TEST_F(TlsServer, OptionalStartTlsIsTakenForAuthenticationOnly) {
  for (TAuthenticationType auth : {TAuthenticationType::atLogin, TAuthenticationType::atNone}) {
    const bool login = auth == TAuthenticationType::atLogin;
    SCOPED_TRACE(login ? "atLogin" : "atNone");
    const std::string sender = login ? "optional-login@example.com" : "optional-none@example.com";
    TMailMessageVrex message;
    Fill(message, sender);
    TSMTPVrex smtp;
    Aim(smtp, PortOf("optional"), auth);
    smtp.MailMessage = &message;
    ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
    EXPECT_EQ(smtp.Secure(), login);
    ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
    ExpectDelivered(message);
    const std::vector<std::string> commands = CommandsOfSender(server, "optional", sender);
    ASSERT_GE(commands.size(), 3u);
    if (login) {
      EXPECT_THAT(std::vector<std::string>(commands.begin(), commands.begin() + 4),
                  ElementsAre("tls=0 EHLO", "tls=0 STARTTLS", "tls=1 EHLO", "tls=1 AUTH CRAM-MD5"));
    } else {
      EXPECT_THAT(std::vector<std::string>(commands.begin(), commands.begin() + 3),
                  ElementsAre("tls=0 HELO", "tls=0 MAIL", "tls=0 RCPT"));
      EXPECT_THAT(commands, Not(Contains("tls=0 STARTTLS")));
    }
  }
}

// The server's MD5 of what it received against the client's text: the 90 MiB are not read back.
TEST_F(TlsServer, A64MiBAttachmentArrivesByteExactOverStartTls) {
  TMailMessageVrex message;
  Fill(message, "tls-large@example.com");
  {
    std::string file(64u << 20, '\0');
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>((i * 131) >> 7);
    message.AttachStream(file, "large.bin", "application/octet-stream", TEncodingType::etBase64,
                         false);
  }
  message.Rebuild();
  TSMTPVrex smtp;
  Aim(smtp, PortOf("starttls"), TAuthenticationType::atLogin);
  smtp.SetTimeOut(60);  // a sanitizer build encrypts slowly, and the server writes 90 MiB
  smtp.MailMessage = &message;
  ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  ASSERT_TRUE(smtp.Secure());
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  const std::string id = message.GetFieldValue("Message-ID");
  MailVrex::Md5Context md5;
  MailVrex::Md5Start(md5);
  const std::string text = message.GetSourceText();
  MailVrex::Md5Feed(md5, text);
  if (!text.ends_with("\r\n")) MailVrex::Md5Feed(md5, "\r\n");
  EXPECT_GT(text.size(), 87u << 20);  // base64 in lines of 76
  EXPECT_EQ(pellam_test::DeliveredMd5(server, id), MailVrex::HexOfBytes(MailVrex::Md5Finish(md5)));
  pellam_test::RemoveDelivery(server, id);
}

}  // namespace
