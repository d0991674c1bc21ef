// The SMTP client against a real server (aiosmtpd): HELO, AUTH CRAM-MD5 and LOGIN, a refused
// password, and delivered messages equal byte for byte to the text the message gives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/mime/TMailMessageVrex.h"
#include "mail/smtp/TSMTPVrex.h"
#include "tests/smtp/RealSmtpServer.h"

namespace {

using MailVrex::TAuthenticationType;
using MailVrex::TEncodingType;
using MailVrex::TMailMessageVrex;
using MailVrex::TSMTPVrex;
using pellam_test::RealSmtpServer;
using pellam_test::TheRealSmtpServer;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

class RealServer : public testing::Test {
 protected:
  void SetUp() override {
    // A missing server is a failure: the setup installs aiosmtpd, so its absence is a fault.
    ASSERT_TRUE(server.problem.empty()) << server.problem;
    smtp.Host = "127.0.0.1";
    smtp.Port = server.port;
    smtp.SetTimeOut(10);
  }

  // What the server must have stored: the text without Bcc, with the line end the data needs.
  static std::string ExpectedDelivery(TMailMessageVrex& message) {
    const std::vector<std::string> header = message.HeaderLines;
    message.SetFieldValue("Bcc", "");
    std::string text = message.GetSourceText();
    message.HeaderLines = header;
    if (!text.ends_with("\r\n")) text += "\r\n";
    return text;
  }

  void ExpectDelivered(TMailMessageVrex& message) {
    const std::string id = message.GetFieldValue("Message-ID");
    const std::string delivered = pellam_test::DeliveredMessage(server, id);
    ASSERT_FALSE(delivered.empty()) << "nothing delivered for " << id;
    EXPECT_TRUE(delivered == ExpectedDelivery(message))
        << "delivered " << delivered.size() << " bytes, expected "
        << ExpectedDelivery(message).size();
  }

  const RealSmtpServer& server = TheRealSmtpServer();
  TSMTPVrex smtp;
};

// A message as the automation layer builds it: bodies, a file, the multipart text.
std::unique_ptr<TMailMessageVrex> BuiltMessage() {
  auto message = std::make_unique<TMailMessageVrex>();
  message->SetFrom("Sender", "from@example.com");
  message->ToList.Add("Reader", "to@example.com");
  message->SetSubject("Report");
  message->SetTextBody("First line.\r\n.\r\n.leading dot\r\n..two dots\r\nLast line");
  message->SetHtmlBody("<p>Hello</p>\r\n.\r\n<p>.dot</p>\r\n");
  std::string file;
  for (int i = 0; i < 70000; ++i) file.push_back(static_cast<char>(i * 7 % 256));
  message->AttachStream(file, "data.bin", "application/octet-stream", TEncodingType::etBase64,
                        false);
  message->Rebuild();
  return message;
}

TEST_F(RealServer, HeloDeliversTheBuiltMessageByteForByte) {
  auto message = BuiltMessage();
  smtp.MailMessage = message.get();
  ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  ExpectDelivered(*message);
  const std::string envelope =
      pellam_test::DeliveredEnvelope(server, message->GetFieldValue("Message-ID"));
  EXPECT_EQ(envelope, "from=from@example.com\nto=to@example.com\n");
}

TEST_F(RealServer, LinesBeginningWithADotArriveUnchanged) {
  TMailMessageVrex message;
  message.SetFrom("", "from@example.com");
  message.ToList.Add("", "to@example.com");
  message.Body = ".\r\n.\r\n.x\r\n..y\r\nmid.dle\r\n. \r\n...\r\nno line end at the end.";
  smtp.MailMessage = &message;
  ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  ExpectDelivered(message);
}

TEST_F(RealServer, BccReachesTheEnvelopeButNotTheText) {
  auto message = BuiltMessage();
  message->CcList.Add("", "cc@example.com");
  message->BccList.Add("", "hidden@example.com");
  smtp.MailMessage = message.get();
  ASSERT_TRUE(smtp.Connect());
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  const std::string id = message->GetFieldValue("Message-ID");
  EXPECT_THAT(pellam_test::DeliveredMessage(server, id), Not(HasSubstr("hidden@")));
  EXPECT_EQ(pellam_test::DeliveredEnvelope(server, id),
            "from=from@example.com\nto=cc@example.com\nto=hidden@example.com\n"
            "to=to@example.com\n");
  EXPECT_THAT(message->GetFieldValue("Bcc"), HasSubstr("hidden@example.com"));
  ExpectDelivered(*message);
}

TEST_F(RealServer, CramMD5AuthenticatesAndTwoSendsShareTheConnection) {
  auto message = BuiltMessage();
  smtp.MailMessage = message.get();
  smtp.AuthType = TAuthenticationType::atLogin;
  smtp.UserName = "pellam";
  smtp.PassWord = "secret";
  ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  EXPECT_THAT(smtp.LastReply(), StartsWith("235"));
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  ExpectDelivered(*message);
  const std::string firstId = message->GetFieldValue("Message-ID");
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  EXPECT_NE(message->GetFieldValue("Message-ID"), firstId);
  ExpectDelivered(*message);
}

TEST_F(RealServer, LoginAuthenticatesWhereOnlyLoginIsOffered) {
  auto message = BuiltMessage();
  smtp.MailMessage = message.get();
  smtp.Port = server.loginPort;
  smtp.AuthType = TAuthenticationType::atLogin;
  smtp.UserName = "pellam";
  smtp.PassWord = "secret";
  ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  ExpectDelivered(*message);
}

TEST_F(RealServer, WrongPasswordIsRefusedWith535) {
  for (int port : {server.port, server.loginPort}) {
    TSMTPVrex client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.SetTimeOut(10);
    client.AuthType = TAuthenticationType::atLogin;
    client.UserName = "pellam";
    client.PassWord = "wrong";
    EXPECT_FALSE(client.Connect());
    EXPECT_THAT(client.LastReply(), StartsWith("535")) << port;
    EXPECT_FALSE(client.Connected());
  }
}

// Without RSET the server would still hold the first transaction and refuse the second MAIL.
TEST_F(RealServer, SendRefusedAtRcptIsResetAndTheNextSendIsDelivered) {
  auto message = BuiltMessage();
  smtp.MailMessage = message.get();
  ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  EXPECT_FALSE(smtp.SendMessageTo("from@example.com", "nobody@refused.invalid"));
  EXPECT_THAT(smtp.LastReply(), StartsWith("550"));
  ASSERT_TRUE(smtp.Connected());
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  ExpectDelivered(*message);
}

TEST_F(RealServer, LargeMessageInPiecesArrivesWhole) {
  auto message = std::make_unique<TMailMessageVrex>();
  message->SetFrom("", "from@example.com");
  message->ToList.Add("", "to@example.com");
  std::string file(3 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 31 % 251);
  message->AttachStream(file, "big.bin", "application/octet-stream", TEncodingType::etBase64,
                        false);
  message->Rebuild();
  smtp.MailMessage = message.get();
  int progress = 0;
  smtp.SetOnProgress([&progress](void*, std::int32_t, std::int32_t) { ++progress; });
  ASSERT_TRUE(smtp.Connect());
  ASSERT_TRUE(smtp.SendMessage()) << smtp.LastReply();
  EXPECT_GT(progress, 40);  // 102400-byte pieces of some 4 MiB
  ExpectDelivered(*message);
}

}  // namespace
