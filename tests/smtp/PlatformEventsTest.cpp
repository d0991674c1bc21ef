// The platform layer under the conversation: errors left unhandled, timers, and opening a
// socket that has no target.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/EventLoop.h"
#include "platform/Socket.h"
#include "platform/Timer.h"
#include "tests/smtp/ScriptedServer.h"

namespace {

using pellam_test::ScriptedServer;

// Dispatches for about the given time, sleeping on the event source in between.
void RunEventsFor(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    platform::DispatchPendingEvents();
    platform::WaitForEvents(20);
  }
  platform::DispatchPendingEvents();
}

TEST(ClientSocket, ErrorLeftUnhandledIsRaisedFromDispatch) {
  platform::ClientSocket socket;
  socket.SetAddress("127.0.0.1");
  socket.SetPort(ScriptedServer::UnusedPort());
  platform::SocketErrorKind reported = platform::SocketErrorKind::General;
  socket.OnError = [&reported](platform::ClientSocket&, platform::SocketErrorKind kind, int&) {
    reported = kind;
  };
  socket.Open();
  EXPECT_THROW(RunEventsFor(std::chrono::milliseconds(1000)), platform::SocketError);
  EXPECT_EQ(reported, platform::SocketErrorKind::Connect);
  EXPECT_FALSE(socket.Active());
}

TEST(ClientSocket, ErrorSetToZeroByHandlerRaisesNothing) {
  platform::ClientSocket socket;
  socket.SetAddress("127.0.0.1");
  socket.SetPort(ScriptedServer::UnusedPort());
  int errors = 0;
  socket.OnError = [&errors](platform::ClientSocket&, platform::SocketErrorKind, int& code) {
    ++errors;
    code = 0;
  };
  socket.Open();
  EXPECT_NO_THROW(RunEventsFor(std::chrono::milliseconds(500)));
  EXPECT_EQ(errors, 1);
}

TEST(ClientSocket, OpenWithoutHostOrAddressThrows) {
  platform::ClientSocket socket;
  socket.SetPort(25);
  EXPECT_THROW(socket.Open(), platform::SocketError);
  EXPECT_FALSE(socket.Active());
}

TEST(ClientSocket, NoLocalNamesWhileNoSocketExists) {
  platform::ClientSocket socket;
  EXPECT_EQ(socket.LocalHost(), "");
  EXPECT_EQ(socket.LocalAddress(), "");
  EXPECT_EQ(socket.Send("x"), 0);
}

TEST(Timer, FiresOnlyWhileRunningWithNonZeroInterval) {
  struct Case {
    std::uint32_t interval;
    bool start;
    bool firesExpected;
  };
  const Case cases[] = {{50, true, true}, {0, true, false}, {50, false, false}};
  for (const auto& c : cases) {
    platform::Timer timer;
    int fired = 0;
    timer.OnTimer = [&fired] { ++fired; };
    timer.SetInterval(c.interval);
    if (c.start) timer.Start();
    RunEventsFor(std::chrono::milliseconds(300));
    EXPECT_EQ(fired > 0, c.firesExpected) << "interval " << c.interval << " start " << c.start;
  }
}

TEST(Timer, StopDiscardsTheIntervalUnderWay) {
  platform::Timer timer;
  int fired = 0;
  timer.OnTimer = [&fired] { ++fired; };
  timer.SetInterval(100);
  timer.Start();
  timer.Stop();
  RunEventsFor(std::chrono::milliseconds(300));
  EXPECT_EQ(fired, 0);
  EXPECT_FALSE(timer.Running());
}

}  // namespace
