// How a wait of the socket conversation ends when the peer fails it: closes, refusals,
// names that do not resolve, silence, a peer that stops reading, and replies without end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "mail/smtp/TSocketTalk.h"
#include "tests/smtp/ScriptedServer.h"
#include "tests/smtp/TalkEvents.h"

namespace {

using MailVrex::TErrorKind;
using MailVrex::TSocketTalk;
using pellam_test::Connect;
using pellam_test::ErrorEvent;
using pellam_test::Events;
using pellam_test::Greeting;
using pellam_test::ScriptedServer;
using pellam_test::Step;
using std::chrono::milliseconds;
using testing::ElementsAre;

void OpenTowards(TSocketTalk& talk, const std::string& host, int port, bool byName) {
  if (byName) {
    talk.Socket().SetHost(host);
  } else {
    talk.Socket().SetAddress(host);
  }
  talk.Socket().SetPort(port);
  talk.ExpectReply(Greeting);
  talk.Socket().Open();
  talk.WaitForReply();
}

TEST(TSocketTalkFailure, RefusedPortEndsGreetingWaitWithConnectError) {
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Events events(talk);
  OpenTowards(talk, "127.0.0.1", ScriptedServer::UnusedPort(), false);
  EXPECT_FALSE(talk.Success);
  EXPECT_EQ(talk.Kind, TErrorKind::ekConnect);
  EXPECT_FALSE(talk.Socket().Active());
  EXPECT_THAT(events.log, ElementsAre(ErrorEvent(Greeting, TErrorKind::ekConnect)));
}

TEST(TSocketTalkFailure, NameThatDoesNotResolveEndsWithLookupError) {
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Events events(talk);
  // A label over 63 octets is refused by the resolver itself: no query leaves the machine.
  OpenTowards(talk, std::string(64, 'x') + ".invalid", 25, true);
  EXPECT_FALSE(talk.Success);
  EXPECT_EQ(talk.Kind, TErrorKind::ekLookup);
  EXPECT_THAT(events.log, ElementsAre(ErrorEvent(Greeting, TErrorKind::ekLookup)));
}

TEST(TSocketTalkFailure, HostNameIsLookedUpAndConnected) {
  ScriptedServer server;
  server.Send("220 hi\r\n");
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Events events(talk);
  OpenTowards(talk, "localhost", server.Port(), true);
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(talk.Socket().LocalAddress(), "127.0.0.1");
  EXPECT_FALSE(talk.Socket().LocalHost().empty());
}

TEST(TSocketTalkFailure, SilentServerEndsWaitWithTimeOut) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine();
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 1;
  Connect(talk, server);
  Events events(talk);
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_FALSE(talk.Success);
  EXPECT_EQ(talk.Kind, TErrorKind::ekTimeOut);
  EXPECT_EQ(talk.Reply, "");
  EXPECT_EQ(talk.Command, 0);
  EXPECT_TRUE(talk.Socket().Active());
  EXPECT_THAT(events.log, ElementsAre(ErrorEvent(Step, TErrorKind::ekTimeOut)));
}

TEST(TSocketTalkFailure, GreetingTimeOutCountsFromExpectReply) {
  ScriptedServer server;  // accepts, says nothing
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 1;
  Events events(talk);
  OpenTowards(talk, "127.0.0.1", server.Port(), false);
  EXPECT_EQ(talk.Kind, TErrorKind::ekTimeOut);
  EXPECT_THAT(events.log, ElementsAre(ErrorEvent(Greeting, TErrorKind::ekTimeOut)));
}

TEST(TSocketTalkFailure, PeerClosingEndsWaitAfterOnDisconnect) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().Send("250 par").Close();
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Connect(talk, server);
  Events events(talk);
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_FALSE(talk.Success);
  EXPECT_FALSE(talk.Waiting);
  EXPECT_EQ(talk.Command, 0);
  EXPECT_EQ(talk.Reply, "250 par");
  EXPECT_FALSE(talk.Socket().Active());
  EXPECT_THAT(events.log, ElementsAre("data 7 250 par", "disconnect"));
}

TEST(TSocketTalkFailure, SendCommandOnClosedConnectionFailsAtOnceEvenWithoutTimeOut) {
  ScriptedServer server;
  server.Send("220 hi\r\n").Close();
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Connect(talk, server);
  if (talk.Socket().Active()) {  // the close may have come with the greeting
    talk.ExpectReply(Step);
    talk.WaitForReply();
  }
  ASSERT_FALSE(talk.Socket().Active());
  talk.TimeOut = 0;
  Events events(talk);
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_FALSE(talk.Success);
  EXPECT_FALSE(talk.Waiting);
  EXPECT_EQ(talk.Kind, TErrorKind::ekDisconnect);
  EXPECT_THAT(events.log, ElementsAre(ErrorEvent(Step, TErrorKind::ekDisconnect)));
}

// The rest of the text will never follow what went: the connection closes with the step.
TEST(TSocketTalkFailure, StalledHandOverEndsAsTimeOutAndCloses) {
  ScriptedServer server(4096);
  server.Send("220 hi\r\n").StopReading();
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 1;
  Connect(talk, server);
  Events events(talk);
  const std::string text(32 * 1024 * 1024, 'x');  // far beyond both socket buffers
  talk.SendCommand(text, "\r\n", Step);
  EXPECT_FALSE(talk.Waiting);
  talk.WaitForReply();
  EXPECT_FALSE(talk.Success);
  EXPECT_EQ(talk.Kind, TErrorKind::ekTimeOut);
  EXPECT_FALSE(talk.Socket().Active());
  EXPECT_THAT(events.log, ElementsAre(ErrorEvent(Step, TErrorKind::ekTimeOut), "disconnect"));
}

// Every piece restarts the time-out without data, but the reply as a whole has its bound.
TEST(TSocketTalkFailure, DrippingReplyEndsAtItsBoundAsTimeOut) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine();
  for (int i = 0; i < 40; ++i) server.Send("x").Pause(milliseconds(250));
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 1;
  Connect(talk, server);
  Events events(talk);
  const auto begin = std::chrono::steady_clock::now();
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  const auto spent = std::chrono::steady_clock::now() - begin;
  EXPECT_EQ(talk.Kind, TErrorKind::ekTimeOut);
  EXPECT_GE(spent, milliseconds(1000 * TSocketTalk::ReplyTimeOutMultiple));
  EXPECT_LT(spent, milliseconds(3000 * TSocketTalk::ReplyTimeOutMultiple));
  ASSERT_FALSE(events.log.empty());
  EXPECT_EQ(events.log.back(), ErrorEvent(Step, TErrorKind::ekTimeOut));
}

TEST(TSocketTalkFailure, StalledPiecewiseHandOverStopsAtTheStall) {
  ScriptedServer server(4096);
  server.Send("220 hi\r\n").StopReading();
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 1;
  Connect(talk, server);
  std::int32_t lastProgress = -1;
  talk.OnProgress = [&lastProgress](void*, std::int32_t, std::int32_t current) {
    lastProgress = current;
  };
  const std::string text(32 * 1024 * 1024, 'x');
  talk.PacketSize = 1024 * 1024;
  talk.SendCommand(text, "\r\n", Step);
  talk.WaitForReply();
  EXPECT_EQ(talk.Kind, TErrorKind::ekTimeOut);
  EXPECT_LT(lastProgress, static_cast<std::int32_t>(text.size()));
}

TEST(TSocketTalkFailure, EndlessReplyIsCappedAndFailsTheStep) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadLine().SendRepeated(std::string(64 * 1024, 'z'), 40);
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Connect(talk, server);
  Events events(talk);
  talk.OnData = nullptr;
  talk.SendCommand("CMD\r\n", "\r\n", Step);
  talk.WaitForReply();
  EXPECT_FALSE(talk.Success);
  EXPECT_EQ(talk.Reply.size(), TSocketTalk::MaxReplySize);
  // Data that goes on arriving after the failed step is reported with command 0.
  ASSERT_FALSE(events.log.empty());
  EXPECT_EQ(events.log.front(), ErrorEvent(Step, TErrorKind::ekReceive));
}

TEST(TSocketTalkFailure, CloseRaisesOnDisconnectBeforeReturning) {
  ScriptedServer server;
  server.Send("220 hi\r\n");
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Connect(talk, server);
  Events events(talk);
  talk.Socket().Close();
  EXPECT_FALSE(talk.Socket().Active());
  EXPECT_THAT(events.log, ElementsAre("disconnect"));
  EXPECT_TRUE(server.WaitPeerClosed());
}

TEST(TSocketTalkFailure, DestructorClosesWithoutOnDisconnect) {
  ScriptedServer server;
  server.Send("220 hi\r\n");
  server.Start();
  bool told = false;
  {
    TSocketTalk talk(nullptr);
    talk.TimeOut = 5;
    Connect(talk, server);
    talk.OnDisconnect = [&told](TSocketTalk&) { told = true; };
  }
  EXPECT_FALSE(told);
  EXPECT_TRUE(server.WaitPeerClosed());
}

}  // namespace
