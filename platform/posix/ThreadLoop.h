// The per-thread event loop behind the POSIX sockets and timers: one poll() over every
// descriptor the thread's sources watch, plus the deadlines of its timers.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace platform::posix {

using Clock = std::chrono::steady_clock;

// Something that waits on one descriptor, chosen anew before every poll.
class PollSource {
 public:
  virtual ~PollSource() = default;
  virtual int PollFd() const = 0;  // -1: nothing to watch now
  virtual short PollEvents() const = 0;
  // Handles what poll reported; true when a notification was delivered.
  virtual bool HandlePoll(short revents) = 0;
};

// Something that fires at a moment of the steady clock.
class TimedSource {
 public:
  virtual ~TimedSource() = default;
  virtual std::optional<Clock::time_point> Due() const = 0;
  virtual void Fire() = 0;
};

class ThreadLoop {
 public:
  // The calling thread's loop, created on first use and freed with its last user.
  static ThreadLoop& Acquire();
  static void Release(ThreadLoop& loop);
  static ThreadLoop* Current();

  void Add(PollSource* source);
  void Remove(PollSource* source);
  void Add(TimedSource* source);
  void Remove(TimedSource* source);

  // One round: polls without blocking and delivers what is ready. True when anything was.
  bool DispatchRound();
  void Wait(int milliseconds);

 private:
  template <class T>
  struct Entry {
    std::uint64_t id;
    T* source;
  };
  template <class T>
  bool StillRegistered(const std::vector<Entry<T>>& entries, const Entry<T>& entry) const;
  int MillisecondsToNextTimer(int limit) const;
  bool FireDueTimers();

  int users_ = 0;
  std::uint64_t nextId_ = 1;
  std::vector<Entry<PollSource>> polled_;
  std::vector<Entry<TimedSource>> timed_;
};

}  // namespace platform::posix
