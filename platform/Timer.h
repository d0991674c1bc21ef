// A timer whose expiry is delivered as an event of the thread that created it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class Timer {
 public:
  Timer();
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // A changed interval restarts a running timer with a full new interval; an unchanged one
  // changes nothing. An interval of 0 never fires.
  void SetInterval(std::uint32_t milliseconds);
  std::uint32_t Interval() const;
  // Starting a stopped timer begins a full interval; starting a running one changes nothing.
  // Throws std::runtime_error when no timer is available.
  void Start();
  // Discards the interval under way.
  void Stop();
  bool Running() const;

  // Runs once per elapsed interval, while the creating thread dispatches its events.
  std::function<void()> OnTimer;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
