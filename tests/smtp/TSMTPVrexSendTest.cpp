// Sending with the SMTP client against the scripted server: the envelope, the text on the wire,
// the header around the transfer, progress, errors of use and a server that fails each step.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "mail/codec/MailError.h"
#include "mail/smtp/TSMTPVrex.h"
#include "tests/smtp/ScriptedServer.h"
#include "tests/smtp/SmtpClientSupport.h"

namespace {

using namespace pellam_test;  // NOLINT: the test support's names read as the dialogue
using MailVrex::MailError;
using std::chrono::milliseconds;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

// The lines the client sent after HELO, up to DATA.
std::string Envelope(const std::string& received) {
  const std::string rest = AfterFirstLine(received);
  const std::size_t data = rest.find("DATA\r\n");
  return data == std::string::npos ? rest : rest.substr(0, data + 6);
}

std::string SendAndRecord(TSMTPVrex& smtp, ScriptedServer& server, bool& sent,
                          const std::function<bool()>& send) {
  ConnectWithHelo(smtp, server);
  sent = send();
  smtp.Disconnect();
  EXPECT_TRUE(server.WaitPeerClosed());
  return server.Received();
}

TEST(TSMTPVrexSend, SendsEnvelopeAndTextAndStaysReady) {
  ScriptedServer server;
  AcceptTransaction(GreetAndHelo(server), 1).ReadLine().Send("250 again\r\n");
  TSMTPVrex smtp;
  auto message = SmallMessage("Hello.\r\n");
  smtp.MailMessage = message.get();
  ConnectWithHelo(smtp, server);
  EXPECT_TRUE(smtp.SendMessage());
  EXPECT_EQ(smtp.LastReply(), "250 queued\r\n");
  EXPECT_EQ(smtp.State(), TSMTPState::Ready);
  smtp.Disconnect();
  ASSERT_TRUE(server.WaitPeerClosed());
  const std::string received = server.Received();
  EXPECT_EQ(Envelope(received),
            "MAIL FROM: <from@example.com>\r\nRCPT TO: <to@example.com>\r\nDATA\r\n");
  EXPECT_EQ(DataOnWire(received), message->GetSourceText());
}

TEST(TSMTPVrexSend, RecipientsAreSortedAndDeduplicatedIgnoringCase) {
  ScriptedServer server;
  AcceptTransaction(GreetAndHelo(server), 3);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  smtp.MailMessage = message.get();
  bool sent = false;
  const std::string received = SendAndRecord(smtp, server, sent, [&] {
    return smtp.SendMessageTo("me@here", "b@x, A@x ,a@x,\"c@x\", B@X");
  });
  EXPECT_TRUE(sent);
  EXPECT_EQ(Envelope(received),
            "MAIL FROM: <me@here>\r\nRCPT TO: <A@x>\r\nRCPT TO: <b@x>\r\nRCPT TO: <c@x>\r\n"
            "DATA\r\n");
}

TEST(TSMTPVrexSend, MessageWithoutFromSendsEmptyReversePath) {
  ScriptedServer server;
  AcceptTransaction(GreetAndHelo(server), 1);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  message->SetFrom("", "");
  smtp.MailMessage = message.get();
  bool sent = false;
  const std::string received =
      SendAndRecord(smtp, server, sent, [&] { return smtp.SendMessage(); });
  EXPECT_TRUE(sent);
  EXPECT_THAT(Envelope(received), StartsWith("MAIL FROM: <>\r\n"));
}

TEST(TSMTPVrexSend, BccIsAbsentOnTheWireAndBackInTheHeaderAfterwards) {
  ScriptedServer server;
  AcceptTransaction(GreetAndHelo(server), 3);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  message->CcList.Add("", "cc@example.com");
  message->BccList.Add("", "hidden@example.com");
  smtp.MailMessage = message.get();
  const std::string bcc = message->GetFieldValue("Bcc");
  ASSERT_THAT(bcc, HasSubstr("hidden@example.com"));
  bool sent = false;
  const std::string received =
      SendAndRecord(smtp, server, sent, [&] { return smtp.SendMessage(); });
  EXPECT_TRUE(sent);
  EXPECT_EQ(Envelope(received),
            "MAIL FROM: <from@example.com>\r\nRCPT TO: <cc@example.com>\r\n"
            "RCPT TO: <hidden@example.com>\r\nRCPT TO: <to@example.com>\r\nDATA\r\n");
  const std::string data = DataOnWire(received);
  EXPECT_THAT(data, Not(HasSubstr("Bcc")));
  EXPECT_THAT(data, Not(HasSubstr("hidden@")));
  EXPECT_EQ(message->GetFieldValue("Bcc"), bcc);
  // Apart from the Bcc line, what went out is the header as it stands now.
  std::vector<std::string> withoutBcc = message->HeaderLines;
  std::erase_if(withoutBcc, [](const std::string& line) { return line.starts_with("Bcc:"); });
  message->HeaderLines = withoutBcc;
  EXPECT_EQ(data, message->GetSourceText());
}

TEST(TSMTPVrexSend, WritesFreshMessageIdAndDateIntoTheKeptHeader) {
  ScriptedServer server;
  AcceptTransaction(AcceptTransaction(GreetAndHelo(server), 1), 1);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  smtp.MailMessage = message.get();
  ConnectWithHelo(smtp, server);
  ASSERT_TRUE(smtp.SendMessage());
  const std::string firstId = message->GetFieldValue("Message-ID");
  const std::string date = message->GetFieldValue("Date");
  EXPECT_TRUE(std::regex_match(
      firstId, std::regex(R"(<\d{14}\.[0-9A-F]{1,8}\.[0-9A-F]{1,8}@127\.0\.0\.1>)")))
      << firstId;
  const std::regex dateForm(
      R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d )"
      R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4})");
  EXPECT_TRUE(std::regex_match(date, dateForm)) << date;
  ASSERT_TRUE(smtp.SendMessage());
  EXPECT_NE(message->GetFieldValue("Message-ID"), firstId);
  smtp.Disconnect();
  ASSERT_TRUE(server.WaitPeerClosed());
  const std::string received = server.Received();
  EXPECT_THAT(received, HasSubstr("\r\nMessage-ID: " + firstId + "\r\n"));
  EXPECT_THAT(received, HasSubstr("\r\nDate: "));
}

TEST(TSMTPVrexSend, LinesBeginningWithADotAreStuffedOnTheWire) {
  ScriptedServer server;
  AcceptTransaction(GreetAndHelo(server), 1);
  TSMTPVrex smtp;
  auto message = SmallMessage(".\r\n.\r\n.hidden\r\nmid.dle\r\n..two\r\nlast");
  smtp.MailMessage = message.get();
  bool sent = false;
  const std::string received =
      SendAndRecord(smtp, server, sent, [&] { return smtp.SendMessage(); });
  EXPECT_TRUE(sent);
  EXPECT_THAT(received,
              HasSubstr("\r\n\r\n..\r\n..\r\n..hidden\r\nmid.dle\r\n...two\r\nlast\r\n.\r\n"));
  EXPECT_FALSE(received.ends_with("last\r\n\r\n.\r\n"));
}

// Like a real server, the scripted one keeps a transaction until RSET ends it.
std::string ResetOrNested(std::string_view line) {
  return line == "RSET\r\n" ? "250 reset\r\n" : "503 nested MAIL command\r\n";
}

TEST(TSMTPVrexSend, RefusedRecipient251FailsWithoutDataAndIsResetForTheNextSend) {
  ScriptedServer server;
  GreetAndHelo(server).ReadLine().Send("250 ok\r\n").ReadLine().Send("251 forwarded\r\n");
  AcceptTransaction(server.Answer(ResetOrNested), 1);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  message->BccList.Add("", "hidden@example.com");
  const auto headerBefore = message->HeaderLines;
  smtp.MailMessage = message.get();
  ConnectWithHelo(smtp, server);
  EXPECT_FALSE(smtp.SendMessageTo("me@here", "first@x,second@x"));
  EXPECT_EQ(smtp.LastReply(), "251 forwarded\r\n");
  EXPECT_TRUE(smtp.Connected());
  EXPECT_EQ(message->HeaderLines, headerBefore);  // no Message-ID before every RCPT is accepted
  EXPECT_TRUE(smtp.SendMessageTo("me@here", "first@x"));
  smtp.Disconnect();
  ASSERT_TRUE(server.WaitPeerClosed());
  EXPECT_EQ(Envelope(server.Received()),
            "MAIL FROM: <me@here>\r\nRCPT TO: <first@x>\r\nRSET\r\n"
            "MAIL FROM: <me@here>\r\nRCPT TO: <first@x>\r\nDATA\r\n");
}

struct FailedStepCase {
  const char* name;
  int acceptedSteps;       // of MAIL, RCPT and DATA; 3: the text is the failed step
  const char* refusal;     // empty: the server says nothing more
  const char* resetReply;  // empty: the client must not send RSET
  bool nextSendDelivered;
};

class FailedStep : public testing::TestWithParam<FailedStepCase> {};

// The failed step's reply stays what LastReply gives; RSET ends the transaction on the server,
// and where that cannot be (refused, or the dialogue out of step) the connection is closed.
TEST_P(FailedStep, IsResetOrClosedBeforeTheNextSend) {
  const auto& c = GetParam();
  const bool reset = *c.resetReply != '\0';
  ScriptedServer server;
  GreetAndHelo(server);
  const char* answers[] = {"250 ok\r\n", "250 ok\r\n", "354 go\r\n"};
  for (int i = 0; i < c.acceptedSteps; ++i) server.ReadLine().Send(answers[i]);
  (c.acceptedSteps == 3 ? server.ReadUntil("\r\n.\r\n") : server.ReadLine()).Send(c.refusal);
  if (reset) {
    server.Answer([&c](std::string_view line) {
      return line == "RSET\r\n" ? std::string(c.resetReply) : "503 nested MAIL command\r\n";
    });
  }
  if (c.nextSendDelivered) AcceptTransaction(server, 1);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  smtp.MailMessage = message.get();
  ConnectWithHelo(smtp, server);
  smtp.SetTimeOut(1);
  EXPECT_FALSE(smtp.SendMessageTo("me@here", "a@x"));
  EXPECT_EQ(smtp.LastReply(), c.refusal);
  EXPECT_EQ(smtp.Connected(), c.nextSendDelivered);
  EXPECT_EQ(smtp.SendMessageTo("me@here", "a@x"), c.nextSendDelivered) << smtp.LastReply();
  smtp.Disconnect();
  ASSERT_TRUE(server.WaitPeerClosed());
  const std::string received = server.Received();
  const std::size_t rset = received.find("RSET\r\n");
  EXPECT_EQ(rset != std::string::npos, reset);
  if (c.nextSendDelivered) {
    EXPECT_EQ(received.find("MAIL FROM", rset), rset + 6);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedStep,
    testing::Values(FailedStepCase{"MailRefused", 0, "550 no sender\r\n", "250 reset\r\n", true},
                    FailedStepCase{"RcptRefused", 1, "550 no user\r\n", "250 reset\r\n", true},
                    FailedStepCase{"DataRefused", 2, "451 later\r\n", "250 reset\r\n", true},
                    FailedStepCase{"TextRefused", 3, "554 rejected\r\n", "250 reset\r\n", true},
                    FailedStepCase{"ResetRefused", 1, "550 no user\r\n", "502 no\r\n", false},
                    FailedStepCase{"SilentAtRcpt", 1, "", "", false}),
    [](const auto& test) { return test.param.name; });

TEST(TSMTPVrexSend, RefusedDataLeavesTheHeaderAsItWas) {
  ScriptedServer server;
  GreetAndHelo(server)
      .ReadLine()
      .Send("250 ok\r\n")
      .ReadLine()
      .Send("250 ok\r\n")
      .ReadLine()
      .Send("451 later\r\n")
      .Answer(ResetOrNested);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  message->BccList.Add("", "hidden@example.com");
  const std::string bcc = message->GetFieldValue("Bcc");
  smtp.MailMessage = message.get();
  ConnectWithHelo(smtp, server);
  EXPECT_FALSE(smtp.SendMessageTo("me@here", "a@x"));
  EXPECT_EQ(message->GetFieldValue("Bcc"), bcc);
  EXPECT_EQ(smtp.State(), TSMTPState::Ready);
}

// ---- Progress -----------------------------------------------------------------------------------

std::vector<std::pair<std::int32_t, std::int32_t>> ExpectedProgress(std::int32_t total,
                                                                    std::int32_t packet) {
  std::vector<std::pair<std::int32_t, std::int32_t>> events = {{total, 0}};
  for (std::int32_t done = packet; done < total; done += packet) events.emplace_back(total, done);
  events.emplace_back(total, total);
  events.emplace_back(total, total);
  return events;
}

class ProgressOfText : public testing::TestWithParam<std::int32_t> {};

TEST_P(ProgressOfText, ReportsEachPieceWithThisComponentAsSender) {
  const std::int32_t packet = GetParam();
  ScriptedServer server;
  AcceptTransaction(GreetAndHelo(server), 1);
  TSMTPVrex smtp;
  auto message = SmallMessage(std::string(3000, 'x') + "\r\n");
  smtp.MailMessage = message.get();
  smtp.PacketSize = packet;
  std::vector<std::pair<std::int32_t, std::int32_t>> events;
  bool senderIsComponent = true;
  smtp.SetOnProgress([&](void* sender, std::int32_t total, std::int32_t current) {
    senderIsComponent = senderIsComponent && sender == &smtp;
    events.emplace_back(total, current);
  });
  bool sent = false;
  const std::string received =
      SendAndRecord(smtp, server, sent, [&] { return smtp.SendMessage(); });
  EXPECT_TRUE(sent);
  EXPECT_TRUE(senderIsComponent);
  // The text handed over: everything after the DATA line's command.
  const auto total = static_cast<std::int32_t>(received.size() - received.find("DATA\r\n") - 6);
  EXPECT_THAT(events, ElementsAreArray(ExpectedProgress(total, packet)));
}

INSTANTIATE_TEST_SUITE_P(PacketSizes, ProgressOfText, testing::Values(250, 1000));

TEST(TSMTPVrexSend, TextNoLongerThanPacketSizeGoesWholeWithoutProgress) {
  ScriptedServer server;
  AcceptTransaction(AcceptTransaction(GreetAndHelo(server), 1), 1);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  smtp.MailMessage = message.get();
  int events = 0;
  smtp.SetOnProgress([&](void*, std::int32_t, std::int32_t) { ++events; });
  ConnectWithHelo(smtp, server);
  EXPECT_TRUE(smtp.SendMessage());  // default PacketSize 102400
  smtp.PacketSize = 0;
  EXPECT_TRUE(smtp.SendMessage());
  EXPECT_EQ(events, 0);
}

// ---- Errors of use and sends that cannot start
// ----------------------------------------------------

TEST(TSMTPVrexUse, SendWithoutMessageRaisesItsName) {
  TSMTPVrex smtp;
  smtp.Name = "SMTP1";
  try {
    smtp.SendMessage();
    FAIL() << "no error";
  } catch (const MailError& error) {
    EXPECT_STREQ(error.what(), "SMTP1: MailMessage unassigned");
  }
}

TEST(TSMTPVrexUse, SendBeforeConnectReturnsFalseWithoutRaising) {
  TSMTPVrex smtp;
  auto message = SmallMessage();
  smtp.MailMessage = message.get();
  EXPECT_FALSE(smtp.SendMessage());
  smtp.MailMessage = nullptr;
  EXPECT_FALSE(smtp.SendMessageTo("a@b", ""));  // not connected: nothing is tested
}

struct UseErrorCase {
  const char* name;
  bool assign;
  bool needRebuild;
  const char* from;
  const char* recipients;
  const char* error;
};

class ErrorsOfUse : public testing::TestWithParam<UseErrorCase> {};

TEST_P(ErrorsOfUse, RaiseBeforeAnythingIsSent) {
  const auto& c = GetParam();
  ScriptedServer server;
  GreetAndHelo(server);
  TSMTPVrex smtp;
  auto message = SmallMessage();
  message->NeedRebuild = c.needRebuild;
  if (c.assign) smtp.MailMessage = message.get();
  ConnectWithHelo(smtp, server);
  EXPECT_THROW(
      {
        try {
          smtp.SendMessageTo(c.from, c.recipients);
        } catch (const MailError& error) {
          EXPECT_STREQ(error.what(), c.error);
          throw;
        }
      },
      MailError);
  EXPECT_TRUE(smtp.Connected());
  smtp.Disconnect();
  ASSERT_TRUE(server.WaitPeerClosed());
  EXPECT_EQ(AfterFirstLine(server.Received()), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorsOfUse,
    testing::Values(
        UseErrorCase{"Unassigned", false, false, "a@b", "c@d", ": MailMessage unassigned"},
        UseErrorCase{"NeedRebuild", true, true, "a@b", "c@d", ": MailMessage need rebuild"},
        UseErrorCase{"NoRecipients", true, false, "a@b", "", ": No recipients to send message"},
        UseErrorCase{"OnlyBlanks", true, false, "a@b", " \t ", ": No recipients to send message"},
        UseErrorCase{"LineBreakInRecipient", true, false, "a@b", "\"x\r\nRSET\"@y",
                     ": Invalid mail address: @y"},
        UseErrorCase{"LineBreakInSender", true, false, "a@b>\r\nRSET\r\nMAIL FROM: <c", "c@d",
                     ": Invalid mail address: a@b>\r\nRSET\r\nMAIL FROM: <c"},
        // A comma that ends the text adds an empty item, which names no one.
        UseErrorCase{"TrailingComma", true, false, "a@b", "c@d,", ": Invalid mail address: "},
        UseErrorCase{"BlankInQuotedItem", true, false, "a@b", "\"c d@x\"",
                     ": Invalid mail address: c d@x"},
        UseErrorCase{"AngleInItem", true, false, "a@b", "c@d,x>y@z",
                     ": Invalid mail address: x>y@z"},
        UseErrorCase{"SenderInBrackets", true, false, "<a@b>", "c@d",
                     ": Invalid mail address: <a@b>"}),
    [](const auto& test) { return test.param.name; });

// ---- The server fails a step of the transaction
// ---------------------------------------------------

struct FailureCase {
  const char* name;
  int acceptedSteps;  // of MAIL, RCPT, DATA before the server closes
  bool midText;       // close while the text arrives
};

class ServerClosesDuringSend : public testing::TestWithParam<FailureCase> {};

TEST_P(ServerClosesDuringSend, FailsRestoresTheHeaderAndIsClosed) {
  const auto& c = GetParam();
  ScriptedServer server;
  GreetAndHelo(server);
  const char* answers[] = {"250 ok\r\n", "250 ok\r\n", "354 go\r\n"};
  for (int i = 0; i < c.acceptedSteps; ++i) server.ReadLine().Send(answers[i]);
  if (c.midText) {
    server.ReadBytes(1000);
  } else {
    server.ReadLine();
  }
  server.Close();
  TSMTPVrex smtp;
  auto message = SmallMessage(std::string(4 * 1024 * 1024, 'x'));
  message->BccList.Add("", "hidden@example.com");
  const std::string bcc = message->GetFieldValue("Bcc");
  smtp.MailMessage = message.get();
  smtp.PacketSize = 64 * 1024;
  ConnectWithHelo(smtp, server);
  EXPECT_FALSE(smtp.SendMessageTo("me@here", "a@x"));
  EXPECT_FALSE(smtp.Connected());
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
  EXPECT_EQ(message->GetFieldValue("Bcc"), bcc);
  EXPECT_FALSE(smtp.SendMessageTo("me@here", "a@x"));  // closed: nothing more
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerClosesDuringSend,
                         testing::Values(FailureCase{"AtMail", 0, false},
                                         FailureCase{"AtRcpt", 1, false},
                                         FailureCase{"AtData", 2, false},
                                         FailureCase{"MidText", 3, true}),
                         [](const auto& test) { return test.param.name; });

// What went of the text is followed by nothing: the connection closes with the step, and the
// next send fails at once instead of writing its MAIL FROM into the unfinished data.
TEST(TSMTPVrexSend, StalledHandOverClosesAndTheNextSendFailsCleanly) {
  ScriptedServer server(4096);
  GreetAndHelo(server)
      .ReadLine()
      .Send("250 ok\r\n")
      .ReadLine()
      .Send("250 ok\r\n")
      .ReadLine()
      .Send("354 go\r\n")
      .Pause(milliseconds(4000));  // then it reads on, until the client closes
  TSMTPVrex smtp;
  auto message = SmallMessage(std::string(32 * 1024 * 1024, 'x'));
  message->BccList.Add("", "hidden@example.com");
  const std::string bcc = message->GetFieldValue("Bcc");
  smtp.MailMessage = message.get();
  ConnectWithHelo(smtp, server);
  smtp.SetTimeOut(1);
  EXPECT_FALSE(smtp.SendMessageTo("me@here", "a@x"));
  EXPECT_EQ(smtp.LastReply(), "");
  EXPECT_FALSE(smtp.Connected());
  EXPECT_EQ(smtp.State(), TSMTPState::Closed);
  EXPECT_FALSE(smtp.SendMessageTo("me@here", "a@x"));
  EXPECT_EQ(message->GetFieldValue("Bcc"), bcc);
  ASSERT_TRUE(server.WaitPeerClosed());
  const std::string received = server.Received();
  const std::size_t data = received.find("DATA\r\n");
  ASSERT_NE(data, std::string::npos);
  const std::size_t body = received.find("\r\n\r\n", data);
  ASSERT_NE(body, std::string::npos);
  EXPECT_GT(received.size(), body + 4);
  EXPECT_EQ(received.find_first_not_of('x', body + 4), std::string::npos);  // the text, only
}

}  // namespace
