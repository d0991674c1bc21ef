// The Windows event loop under a wait: a WM_QUIT already posted neither keeps the wait from its
// time-out nor makes it spin, and it still reaches the thread's own loop afterwards.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "mail/smtp/TSocketTalk.h"

namespace {

using MailVrex::TErrorKind;
using MailVrex::TSocketTalk;

std::chrono::milliseconds ThreadProcessorTime() {
  FILETIME created, ended, kernel, user;
  ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return std::chrono::milliseconds((ticks(kernel) + ticks(user)) / 10000);  // 100 ns ticks
}

TEST(WindowsEventLoop, WaitWithQuitPendingEndsByItsTimeOutAndLeavesTheQuit) {
  TSocketTalk talk(nullptr);
  talk.TimeOut = 1;
  ::PostQuitMessage(7);
  const auto processorBefore = ThreadProcessorTime();
  const auto begin = std::chrono::steady_clock::now();
  talk.ExpectReply(1);  // nothing is opened: only the time-out can end the wait
  talk.WaitForReply();
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - begin);
  const auto processor = ThreadProcessorTime() - processorBefore;
  EXPECT_EQ(talk.Kind, TErrorKind::ekTimeOut);
  EXPECT_GE(spent, std::chrono::milliseconds(900));
  EXPECT_LT(spent, std::chrono::milliseconds(3000));
  // A wait that slept used next to nothing; one that spun would have used most of the second.
  EXPECT_LT(processor, spent / 3) << processor.count() << " ms of " << spent.count() << " ms";

  MSG message;
  bool quit = false;
  while (!quit && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    quit = message.message == WM_QUIT;
  }
  ASSERT_TRUE(quit);
  EXPECT_EQ(message.wParam, 7u);
}

}  // namespace

#endif  // _WIN32
