// The per-thread poll() loop that delivers socket notifications and timer expiries.
#include "platform/posix/ThreadLoop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "platform/EventLoop.h"

namespace platform::posix {

namespace {

thread_local ThreadLoop* currentLoop = nullptr;

// Keeps the loop alive while a handler frees the last socket or timer of the thread.
class LoopHold {
 public:
  explicit LoopHold(ThreadLoop& loop) : loop_(loop) { ThreadLoop::Acquire(); }
  ~LoopHold() { ThreadLoop::Release(loop_); }
  LoopHold(const LoopHold&) = delete;
  LoopHold& operator=(const LoopHold&) = delete;

 private:
  ThreadLoop& loop_;
};

// Enough for handlers that keep posting work to one another without starving the caller.
constexpr int MaxRoundsPerDispatch = 1000;

}  // namespace

ThreadLoop& ThreadLoop::Acquire() {
  if (currentLoop == nullptr) currentLoop = new ThreadLoop;
  ++currentLoop->users_;
  return *currentLoop;
}

void ThreadLoop::Release(ThreadLoop& loop) {
  if (--loop.users_ > 0) return;
  if (currentLoop == &loop) currentLoop = nullptr;
  delete &loop;
}

ThreadLoop* ThreadLoop::Current() {
  return currentLoop;
}

void ThreadLoop::Add(PollSource* source) {
  polled_.push_back({nextId_++, source});
}

void ThreadLoop::Remove(PollSource* source) {
  std::erase_if(polled_, [source](const auto& e) { return e.source == source; });
}

void ThreadLoop::Add(TimedSource* source) {
  timed_.push_back({nextId_++, source});
}

void ThreadLoop::Remove(TimedSource* source) {
  std::erase_if(timed_, [source](const auto& e) { return e.source == source; });
}

template <class T>
bool ThreadLoop::StillRegistered(const std::vector<Entry<T>>& entries,
                                 const Entry<T>& entry) const {
  return std::any_of(entries.begin(), entries.end(),
                     [&entry](const auto& e) { return e.id == entry.id; });
}

bool ThreadLoop::DispatchRound() {
  // Handlers may add or free sources, so work on a snapshot and check each entry again.
  std::vector<Entry<PollSource>> watched;
  std::vector<pollfd> fds;
  for (const auto& entry : polled_) {
    const int fd = entry.source->PollFd();
    if (fd < 0) continue;
    watched.push_back(entry);
    fds.push_back({fd, entry.source->PollEvents(), 0});
  }
  bool delivered = false;
  if (!fds.empty() && ::poll(fds.data(), fds.size(), 0) > 0) {
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents == 0 || !StillRegistered(polled_, watched[i])) continue;
      delivered = watched[i].source->HandlePoll(fds[i].revents) || delivered;
    }
  }
  return FireDueTimers() || delivered;
}

bool ThreadLoop::FireDueTimers() {
  const auto now = Clock::now();
  std::vector<Entry<TimedSource>> due;
  for (const auto& entry : timed_) {
    const auto when = entry.source->Due();
    if (when && *when <= now) due.push_back(entry);
  }
  bool fired = false;
  for (const auto& entry : due) {
    if (!StillRegistered(timed_, entry)) continue;
    const auto when = entry.source->Due();  // an earlier handler may have stopped it
    if (!when || *when > now) continue;
    entry.source->Fire();
    fired = true;
  }
  return fired;
}

int ThreadLoop::MillisecondsToNextTimer(int limit) const {
  int result = limit;
  const auto now = Clock::now();
  for (const auto& entry : timed_) {
    const auto when = entry.source->Due();
    if (!when) continue;
    // Rounded up, so that the wait does not end just before the deadline and spin.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*when - now).count();
    const int ms = static_cast<int>(std::clamp<long long>(left, 0, 0x7fffffff));
    if (result < 0 || ms < result) result = ms;
  }
  return result;
}

void ThreadLoop::Wait(int milliseconds) {
  std::vector<pollfd> fds;
  for (const auto& entry : polled_) {
    const int fd = entry.source->PollFd();
    if (fd >= 0) fds.push_back({fd, entry.source->PollEvents(), 0});
  }
  const int timeout = MillisecondsToNextTimer(milliseconds);
  if (timeout == 0) return;
  ::poll(fds.data(), fds.size(), timeout);  // EINTR just ends the wait early
}

}  // namespace platform::posix

namespace platform {

void DispatchPendingEvents() {
  auto* loop = posix::ThreadLoop::Current();
  if (loop == nullptr) return;
  posix::LoopHold hold(*loop);
  for (int round = 0; round < posix::MaxRoundsPerDispatch && loop->DispatchRound(); ++round) {
  }
}

void WaitForEvents(int milliseconds) {
  if (auto* loop = posix::ThreadLoop::Current()) {
    loop->Wait(milliseconds);
  } else if (milliseconds != 0) {
    ::poll(nullptr, 0, milliseconds);
  }
}

// A POSIX thread has no message loop of its own whose end a wait could hold back.
WaitScope::WaitScope() = default;
WaitScope::~WaitScope() = default;

}  // namespace platform
