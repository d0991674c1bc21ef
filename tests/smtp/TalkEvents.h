// Test support for the socket conversation: a recorder of its events, and a connection to the
// scripted server that takes the greeting.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/smtp/TSocketTalk.h"
#include "tests/smtp/ScriptedServer.h"

namespace pellam_test {

using MailVrex::TErrorKind;
using MailVrex::TSocketTalk;

constexpr std::uint8_t Greeting = 1;
constexpr std::uint8_t Step = 7;

// Long texts are cut, so that a failing test prints readable events.
inline std::string Shortened(std::string_view text) {
  return text.size() <= 40 ? std::string(text) : std::string(text.substr(0, 40)) + "...";
}

// Writes down every event of a conversation in the order it came.
struct Events {
  explicit Events(TSocketTalk& talk, std::uint8_t acceptedCommand = Step) {
    talk.OnData = [this](TSocketTalk&, std::uint8_t command, std::string_view piece, bool&) {
      log.push_back("data " + std::to_string(command) + " " + Shortened(piece));
    };
    talk.OnReply = [this, acceptedCommand](TSocketTalk&, std::uint8_t command,
                                           const std::string& reply, bool& success) {
      log.push_back("reply " + std::to_string(command) + " " + Shortened(reply));
      success = command == acceptedCommand || command == Greeting;
    };
    talk.OnError = [this](TSocketTalk&, std::uint8_t command, TErrorKind kind) {
      log.push_back("error " + std::to_string(command) + " " +
                    std::to_string(static_cast<int>(kind)));
    };
    talk.OnDisconnect = [this](TSocketTalk&) { log.push_back("disconnect"); };
  }
  std::vector<std::string> log;
};

inline std::string ErrorEvent(std::uint8_t command, TErrorKind kind) {
  return "error " + std::to_string(command) + " " + std::to_string(static_cast<int>(kind));
}

// Opens the connection and takes the server's greeting "220 hi\r\n".
inline void Connect(TSocketTalk& talk, ScriptedServer& server) {
  talk.Socket().SetAddress("127.0.0.1");
  talk.Socket().SetPort(server.Port());
  if (!talk.OnReply) {
    talk.OnReply = [](TSocketTalk&, std::uint8_t, const std::string&, bool& success) {
      success = true;
    };
  }
  talk.ExpectReply(Greeting);
  talk.Socket().Open();
  talk.WaitForReply();
  ASSERT_TRUE(talk.Success) << "no greeting";
  ASSERT_EQ(talk.Reply, "220 hi\r\n");
}

}  // namespace pellam_test
