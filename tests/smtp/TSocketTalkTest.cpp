// Behaviour of the socket conversation against the scripted server: completion of replies,
// piecewise hand-over with progress, time-outs, closes and failures of the socket layer.
#include "mail/smtp/TSocketTalk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tests/smtp/ScriptedServer.h"
#include "tests/smtp/TalkEvents.h"

namespace {

using MailVrex::TErrorKind;
using MailVrex::TSocketTalk;
using pellam_test::Connect;
using pellam_test::Events;
using pellam_test::Greeting;
using pellam_test::ScriptedServer;
using pellam_test::Step;
using std::chrono::milliseconds;
using testing::ElementsAre;
using testing::IsEmpty;

struct CompletionCase {
  const char* name;
  std::vector<std::string> pieces;  // sent apart, so that they arrive as separate reads
  const char* terminator;
  const char* reply;
  std::size_t dataEvents;
};

class ReplyCompletion : public testing::TestWithParam<CompletionCase> {};

TEST_P(ReplyCompletion, EndsWhenTheCollectedTextIsComplete) {
  const auto& c = GetParam();
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine();
  for (const auto& piece : c.pieces) server.Pause(milliseconds(150)).Send(piece);
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Connect(talk, server);
  Events events(talk);
  talk.SendCommand("CMD\r\n", c.terminator, Step);
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(talk.Reply, c.reply);
  EXPECT_EQ(talk.Kind, TErrorKind::ekNone);
  EXPECT_FALSE(talk.Waiting);
  EXPECT_EQ(talk.Command, 0);
  EXPECT_EQ(events.log.size(), c.dataEvents + 1);
  EXPECT_EQ(events.log.back(), "reply 7 " + std::string(c.reply));
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, ReplyCompletion,
    testing::Values(
        CompletionCase{"JoinedAcrossPieces", {"250 o", "k\r\n"}, "\r\n", "250 ok\r\n", 2},
        CompletionCase{
            "PieceEndingInCrAloneWaitsForLf", {"250 ok\r", "\n"}, "\r\n", "250 ok\r\n", 2},
        CompletionCase{"FirstLineOfMultiLineReplyCompletes",
                       {"250-one\r\n", "250 two\r\n"},
                       "\r\n",
                       "250-one\r\n",
                       1},
        CompletionCase{"EmptyTerminatorTakesFirstData", {"abc", "def\r\n"}, "", "abc", 1}),
    [](const testing::TestParamInfo<CompletionCase>& c) { return std::string(c.param.name); });

TEST(TSocketTalk, RestOfMultiLineReplyBeginsTheNextReply) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().Send("250-one\r\n").Pause(milliseconds(150));
  server.Send("250 two\r\n").ReadLine().Send("251 three\r\n");
  server.Start();
  TSocketTalk talk(nullptr);
  Connect(talk, server);
  talk.SendCommand("A\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_EQ(talk.Reply, "250-one\r\n");
  talk.SendCommand("B\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_EQ(talk.Reply.substr(0, 9), "250 two\r\n");
}

TEST(TSocketTalk, ReplyCompleteRuleDecidesInsteadOfTerminator) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().Send("250-one\r\n").Pause(milliseconds(150));
  server.Send("250 two\r\n");
  server.Start();
  TSocketTalk talk(nullptr);
  Connect(talk, server);
  talk.ReplyComplete = [](std::string_view reply) { return reply.ends_with("250 two\r\n"); };
  talk.SendCommand("A\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(talk.Reply, "250-one\r\n250 two\r\n");
}

TEST(TSocketTalk, ReplyCompleteRuleAppliesToExpectedGreeting) {
  ScriptedServer server;
  server.Send("220-first\r\n").Pause(milliseconds(150)).Send("220 hi\r\n");
  server.Start();
  TSocketTalk talk(nullptr);
  talk.ReplyComplete = [](std::string_view reply) { return reply.ends_with("220 hi\r\n"); };
  talk.Socket().SetAddress("127.0.0.1");
  talk.Socket().SetPort(server.Port());
  Events events(talk);
  talk.ExpectReply(Greeting);
  talk.Socket().Open();
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(talk.Reply, "220-first\r\n220 hi\r\n");
}

TEST(TSocketTalk, ExpectReplyCompletesWithFirstDataWhateverItHolds) {
  ScriptedServer server;
  server.Send("no code, no line end");
  server.Start();
  TSocketTalk talk(nullptr);
  Events events(talk);
  talk.Socket().SetAddress("127.0.0.1");
  talk.Socket().SetPort(server.Port());
  talk.ExpectReply(Greeting);
  talk.Socket().Open();
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_THAT(events.log,
              ElementsAre("data 1 no code, no line end", "reply 1 no code, no line end"));
}

TEST(TSocketTalk, EachPieceRestartsTheTimeOut) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine();
  // Gaps of a third of the time-out, more than the time-out in all.
  for (const char* piece : {"2", "5", "0 ", "o", "k\r\n"})
    server.Pause(milliseconds(300)).Send(piece);
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 1;
  Connect(talk, server);
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(talk.Reply, "250 ok\r\n");
}

TEST(TSocketTalk, TimeOutZeroWaitsPastAnyLimit) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().Pause(milliseconds(1200)).Send("250 late\r\n");
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 0;
  Connect(talk, server);
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(talk.Reply, "250 late\r\n");
}

TEST(TSocketTalk, CancelWaitFromOnDataReportsReplyWithCommandZero) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().Send("550 no\r\n");
  server.Start();
  TSocketTalk talk(nullptr);
  Connect(talk, server);
  Events events(talk);
  talk.OnData = [&events](TSocketTalk& sender, std::uint8_t command, std::string_view, bool&) {
    events.log.push_back("data " + std::to_string(command));
    sender.CancelWait();
  };
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_FALSE(talk.Success);
  EXPECT_FALSE(talk.Waiting);
  EXPECT_EQ(talk.Kind, TErrorKind::ekNone);
  EXPECT_THAT(events.log, ElementsAre("data 7", "reply 0 550 no\r\n"));
}

TEST(TSocketTalk, SuccessSetByOnDataEndsTheWait) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().Send("250 partial");
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Connect(talk, server);
  talk.OnData = [](TSocketTalk&, std::uint8_t, std::string_view, bool& success) { success = true; };
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(talk.Reply, "250 partial");
}

}  // namespace
