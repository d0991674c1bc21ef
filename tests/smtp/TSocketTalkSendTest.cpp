// How the socket conversation hands text over: whole, or in PacketSize pieces with progress.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mail/smtp/TSocketTalk.h"
#include "tests/smtp/ScriptedServer.h"
#include "tests/smtp/TalkEvents.h"

namespace {

using MailVrex::TSocketTalk;
using pellam_test::Connect;
using pellam_test::ScriptedServer;
using pellam_test::Step;
using Progress = std::vector<std::pair<std::int32_t, std::int32_t>>;

std::string NumberedText(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += std::to_string(i) + ' ';
  text.resize(size);
  return text;
}

struct HandOverCase {
  const char* name;
  std::int32_t packetSize;
  std::size_t textSize;
  Progress progress;
};

class HandOver : public testing::TestWithParam<HandOverCase> {};

TEST_P(HandOver, DeliversTheTextWithTheProgressOfItsPieces) {
  const auto& c = GetParam();
  const std::string text = NumberedText(c.textSize);
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadBytes(text.size()).Send("250 ok\r\n");
  server.Start();
  int owner = 0;
  TSocketTalk talk(&owner);
  talk.TimeOut = 5;
  Connect(talk, server);
  Progress progress;
  talk.OnProgress = [&progress, &owner](void* sender, std::int32_t total, std::int32_t current) {
    EXPECT_EQ(sender, &owner);
    progress.emplace_back(total, current);
  };
  talk.PacketSize = c.packetSize;
  talk.SendCommand(text, "\r\n", Step);
  EXPECT_EQ(talk.PacketSize, 0);
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(progress, c.progress);
  EXPECT_EQ(server.Received(), text);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, HandOver,
    testing::Values(
        HandOverCase{
            "FourPiecesReportFinalCountTwice",
            250,
            1000,
            {{1000, 0}, {1000, 250}, {1000, 500}, {1000, 750}, {1000, 1000}, {1000, 1000}}},
        HandOverCase{"ShortLastPiece",
                     400,
                     1000,
                     {{1000, 0}, {1000, 400}, {1000, 800}, {1000, 1000}, {1000, 1000}}},
        HandOverCase{"TextOfExactlyPacketSizeGoesWhole", 250, 250, {}},
        HandOverCase{"ZeroPacketSizeGoesWhole", 0, 1000, {}},
        HandOverCase{"NegativePacketSizeGoesWhole", -5, 1000, {}}),
    [](const testing::TestParamInfo<HandOverCase>& c) { return std::string(c.param.name); });

TEST(TSocketTalkSend, PacketSizeAppliesToOneSendCommandOnly) {
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadBytes(1000).Send("250 a\r\n").ReadBytes(1000).Send("250 b\r\n");
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Connect(talk, server);
  int progressEvents = 0;
  talk.OnProgress = [&progressEvents](void*, std::int32_t, std::int32_t) { ++progressEvents; };
  talk.PacketSize = 250;
  talk.SendCommand(std::string(1000, 'a'), "\r\n", Step);
  talk.WaitForReply();
  ASSERT_EQ(progressEvents, 6);
  talk.SendCommand(std::string(1000, 'b'), "\r\n", Step);
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(progressEvents, 6);
  EXPECT_EQ(server.Received(), std::string(1000, 'a') + std::string(1000, 'b'));
}

TEST(TSocketTalkSend, TextWithNulBytesArrivesUnchanged) {
  const std::string text("A\0B\r\n\xff\0", 7);
  ScriptedServer server;
  server.Send("220 hi\r\n").ReadBytes(text.size()).Send(std::string("250 \0k\r\n", 8));
  server.Start();
  TSocketTalk talk(nullptr);
  talk.TimeOut = 5;
  Connect(talk, server);
  talk.SendCommand(text, "\r\n", Step);
  talk.WaitForReply();
  EXPECT_TRUE(talk.Success);
  EXPECT_EQ(talk.Reply, std::string("250 \0k\r\n", 8));
  EXPECT_EQ(server.Received(), text);
}

}  // namespace
