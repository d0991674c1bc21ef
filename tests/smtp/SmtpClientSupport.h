// Test support for the SMTP client: scripted dialogues for the usual steps, a connected client
// and small messages whose text the tests control byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "mail/mime/TMailMessageVrex.h"
#include "mail/smtp/TSMTPVrex.h"
#include "tests/smtp/ScriptedServer.h"

namespace pellam_test {

using MailVrex::TAuthenticationType;
using MailVrex::TMailMessageVrex;
using MailVrex::TSMTPState;
using MailVrex::TSMTPVrex;

// Greeting and an accepted HELO.
inline ScriptedServer& GreetAndHelo(ScriptedServer& server) {
  return server.Send("220 hi\r\n").ReadLine().Send("250 hello\r\n");
}

// MAIL FROM, `recipients` RCPT TO, DATA and the text, each accepted.
inline ScriptedServer& AcceptTransaction(ScriptedServer& server, int recipients) {
  server.ReadLine().Send("250 sender ok\r\n");
  for (int i = 0; i < recipients; ++i) server.ReadLine().Send("250 recipient ok\r\n");
  return server.ReadLine().Send("354 go ahead\r\n").ReadUntil("\r\n.\r\n").Send("250 queued\r\n");
}

inline void PointAt(TSMTPVrex& smtp, const ScriptedServer& server) {
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  smtp.SetTimeOut(5);
}

// Starts the server and connects with HELO; the script must begin with GreetAndHelo.
inline void ConnectWithHelo(TSMTPVrex& smtp, ScriptedServer& server) {
  server.Start();
  PointAt(smtp, server);
  ASSERT_TRUE(smtp.Connect()) << smtp.LastReply();
  ASSERT_TRUE(smtp.Connected());
}

// From, To and Subject over the given body, which is sent as it stands.
inline std::unique_ptr<TMailMessageVrex> SmallMessage(std::string_view body = "Hello.\r\n") {
  auto message = std::make_unique<TMailMessageVrex>();
  message->SetFrom("Sender", "from@example.com");
  message->ToList.Add("", "to@example.com");
  message->SetSubject("Greetings");
  message->Body = std::string(body);
  return message;
}

// What the server received after the first line (HELO or EHLO carries the local host name).
inline std::string AfterFirstLine(std::string_view received) {
  const std::size_t end = received.find("\r\n");
  return end == std::string_view::npos ? std::string() : std::string(received.substr(end + 2));
}

inline std::string FirstLine(std::string_view received) {
  return std::string(received.substr(0, received.find("\r\n")));
}

// The text between the DATA line's reply and the end-of-data line, as it went over the wire.
inline std::string DataOnWire(std::string_view received) {
  const std::size_t begin = received.find("DATA\r\n");
  if (begin == std::string_view::npos) return {};
  const std::size_t end = received.find("\r\n.\r\n", begin + 4);
  if (end == std::string_view::npos) return {};
  return std::string(received.substr(begin + 6, end + 2 - begin - 6));
}

}  // namespace pellam_test
