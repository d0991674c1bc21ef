// The scripting object's flow without COM: the complaint lines, the rules of the stored values,
// and what one or two sends deliver to the real server.
#include "automation/TSMTPCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>

#include "automation/FixedTexts.h"
#include "tests/smtp/RealSmtpServer.h"
#include "tests/smtp/ScriptedServer.h"

namespace {

using SMTPUnit::TSMTPCore;

struct ComplaintCase {
  const char* name;
  std::function<void(TSMTPCore&)> set;
  std::string status;
};

const std::string kSender = "Cannot send without sender information ..\r\n";
const std::string kRecipient = "Cannot send without recipient to information ..\r\n";
const std::string kHost = "You must fill in the SMTP host name!\r\n";
const std::string kPort = "You must fill in the SMTP prot number!\r\n";

// Everything but the sender is valid: no case reaches the network.
void AllButSender(TSMTPCore& core) {
  core.SetTo("a@example.org");
  core.SetHost("127.0.0.1");
}

class Complaints : public testing::TestWithParam<ComplaintCase> {};

TEST_P(Complaints, CollectEveryLineAndSendNothing) {
  TSMTPCore core;
  core.StartPage(SMTPUnit::GbkTexts());
  GetParam().set(core);
  EXPECT_FALSE(core.SendMail());
  EXPECT_EQ(core.Status(), GetParam().status);
}

const std::string kMissing = "/no/such/file.txt";

INSTANTIATE_TEST_SUITE_P(
    SendMail, Complaints,
    testing::Values(ComplaintCase{"NothingSet", [](TSMTPCore&) {}, kSender + kRecipient + kHost},
                    ComplaintCase{"PortZero",
                                  [](TSMTPCore& c) {
                                    AllButSender(c);
                                    c.SetFrom("me@example.org");
                                    c.SetPort(0);
                                  },
                                  kPort},
                    ComplaintCase{"BlankFromToAndHost",
                                  [](TSMTPCore& c) {
                                    c.SetFrom(" \t\r\n");
                                    c.SetTo(" \r\n\t\r\n");
                                    c.SetHost(std::string(" \x01 ", 3));
                                  },
                                  kSender + kRecipient + kHost},
                    ComplaintCase{"HostWithBlanksAroundPasses",
                                  [](TSMTPCore& c) {
                                    AllButSender(c);
                                    c.SetHost("  127.0.0.1  ");
                                  },
                                  kSender},
                    ComplaintCase{"AttachmentsOneLineEach",
                                  [](TSMTPCore& c) {
                                    AllButSender(c);
                                    c.SetAttachment(
                                        kMissing + "\r\n" +
                                        std::filesystem::temp_directory_path().string() +
                                        "\r\n\r\n");
                                  },
                                  kSender + "Cannot find attachment file: " + kMissing + "\r\n" +
                                      "Cannot find attachment file: " +
                                      std::filesystem::temp_directory_path().string() + "\r\n" +
                                      "Cannot find attachment file: \r\n"},
                    ComplaintCase{"ListEndsAtItsFirstNul",
                                  [](TSMTPCore& c) {
                                    AllButSender(c);
                                    c.SetAttachment(std::string(" x\0y\r\nz", 7));
                                  },
                                  kSender + "Cannot find attachment file:  x\r\n"}),
    [](const testing::TestParamInfo<ComplaintCase>& each) { return each.param.name; });

TEST(TSMTPCorePage, MembersNeedTheWorkingStateAndFromIsKeptAcrossPages) {
  TSMTPCore core;
  EXPECT_THROW(core.SetHost("h"), SMTPUnit::TNoWorkingState);
  EXPECT_THROW(core.SendMail(), SMTPUnit::TNoWorkingState);
  EXPECT_THROW(core.Status(), SMTPUnit::TNoWorkingState);
  core.StartPage(SMTPUnit::GbkTexts());
  EXPECT_EQ(core.Status(), "");
  core.SetFrom("me@example.org");
  core.SetPort(0);
  core.EndPage();
  EXPECT_THROW(core.SetTo("a@b"), SMTPUnit::TNoWorkingState);
  EXPECT_THROW(core.CopyRight(), SMTPUnit::TNoWorkingState);
  core.StartPage(SMTPUnit::GbkTexts());
  EXPECT_FALSE(core.SendMail());
  // The sender stays; the port is 25 again.
  EXPECT_EQ(core.Status(), kRecipient + kHost);
}

// ---- Sending to the real server

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every delivered message whose text holds the token, oldest first.
std::vector<std::string> DeliveredWith(const std::string& token) {
  std::vector<std::pair<std::filesystem::file_time_type, std::string>> found;
  for (const auto& entry :
       std::filesystem::directory_iterator(pellam_test::TheRealSmtpServer().folder)) {
    if (entry.path().extension() != ".eml") continue;
    std::string text = ReadAll(entry.path());
    if (text.find(token) != std::string::npos) {
      found.emplace_back(entry.last_write_time(), std::move(text));
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> texts;
  for (auto& [time, text] : found) texts.push_back(std::move(text));
  return texts;
}

// The message without the fields that each send makes afresh.
std::string WithoutFreshFields(std::string text) {
  static const std::regex fresh("(^|\r\n)(Message-ID|Date):[^\r\n]*");
  return std::regex_replace(text, fresh, "$1");
}

// Unique across runs, since under Wine the server's folder outlives one run.
std::string Token(const char* test) {
  return std::string("core-") + test + "-" +
         std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
}

class SendingCore : public testing::Test {
 protected:
  void SetUp() override {
    const auto& server = pellam_test::TheRealSmtpServer();
    ASSERT_TRUE(server.problem.empty()) << server.problem;
    StartPage(SMTPUnit::GbkTexts());
  }
  void StartPage(const SMTPUnit::TCodePageTexts& texts) {
    core.StartPage(texts);
    core.SetHost("127.0.0.1");
    core.SetPort(pellam_test::TheRealSmtpServer().port);
    core.SetFrom("Sender <sender@example.org>");
    core.SetTo("to@example.org");
  }
  TSMTPCore core;
};

const std::regex kTwoReplies("250[^\r\n]*\r\n\r\n250 OK saved\r\n\r\n");

TEST_F(SendingCore, SecondSendMailDeliversTheSameMessageWithOneFooter) {
  const std::string token = Token("twice");
  core.SetSubject(token);
  core.SetTextBody("Hello");
  core.SetSignature("-- the signature");
  ASSERT_TRUE(core.SendMail()) << core.Status();
  EXPECT_TRUE(std::regex_match(core.Status(), kTwoReplies)) << core.Status();
  ASSERT_TRUE(core.SendMail()) << core.Status();
  EXPECT_TRUE(std::regex_match(core.Status(), kTwoReplies)) << core.Status();

  const auto delivered = DeliveredWith(token);
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(WithoutFreshFields(delivered[0]), WithoutFreshFields(delivered[1]));
  const std::string& text = delivered[1];
  EXPECT_NE(text.find("Hello\r\n-- the signature\r\n\r\n" + std::string(32, '-') + "\r\n" +
                      std::string(SMTPUnit::kCreditLine)),
            std::string::npos);
  EXPECT_EQ(text.find(SMTPUnit::kCreditLine), text.rfind(SMTPUnit::kCreditLine));
}

TEST_F(SendingCore, PlaceholdersFillTheMissingSubjectAndTheChosenBody) {
  const std::string token = Token("placeholders");
  core.SetSubject("   ");
  core.SetTextBody(token);
  core.SetContentType(1);
  core.SetPriority(4);
  ASSERT_TRUE(core.SendMail()) << core.Status();
  const auto delivered = DeliveredWith(token);
  ASSERT_EQ(delivered.size(), 1u);
  const std::string& text = delivered[0];
  EXPECT_NE(text.find("Subject: =?gb2312?Q?=CE=DE=D6=F7=CC=E2?="), std::string::npos) << text;
  EXPECT_NE(text.find("X-Priority: 4\r\n"), std::string::npos);
  EXPECT_NE(text.find("multipart/alternative"), std::string::npos);
  EXPECT_NE(text.find("=CE=DE=C4=DA=C8=DD\r\n"), std::string::npos);  // the HTML placeholder
}

TEST_F(SendingCore, BlankRecipientLinesNameNobody) {
  const std::string token = Token("blank-lines");
  core.SetSubject(token);
  core.SetTo("a@example.org\r\n\r\n  \r\nB <b@example.org>");
  core.SetCc(" \r\n");
  ASSERT_TRUE(core.SendMail()) << core.Status();
  const auto delivered = DeliveredWith(token);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_NE(delivered[0].find("To: <a@example.org>, \"B\" <b@example.org>\r\n"), std::string::npos)
      << delivered[0];
  EXPECT_EQ(delivered[0].find("Cc:"), std::string::npos);
}

TEST_F(SendingCore, RefusedConnectionGivesFalseAndOneLine) {
  core.SetPort(pellam_test::ScriptedServer::UnusedPort());
  EXPECT_FALSE(core.SendMail());
  const std::string status = core.Status();
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status.find("\r\n"), status.size() - 2) << status;
}

}  // namespace
