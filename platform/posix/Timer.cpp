// The timer on POSIX systems: a deadline that the thread's poll() loop watches.
#include "platform/Timer.h"

#include "platform/posix/ThreadLoop.h"

namespace platform {

struct Timer::Impl final : posix::TimedSource {
  Impl(Timer& self, posix::ThreadLoop& threadLoop) : owner(self), loop(threadLoop) {
    loop.Add(this);
  }
  ~Impl() override {
    loop.Remove(this);
    posix::ThreadLoop::Release(loop);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  std::optional<posix::Clock::time_point> Due() const override {
    if (!running || interval == 0) return std::nullopt;
    return due;
  }

  void Fire() override {
    due = posix::Clock::now() + std::chrono::milliseconds(interval);
    if (owner.OnTimer) owner.OnTimer();  // may free the timer: nothing is touched after it
  }

  void Restart() { due = posix::Clock::now() + std::chrono::milliseconds(interval); }

  Timer& owner;
  posix::ThreadLoop& loop;
  std::uint32_t interval = 0;
  bool running = false;
  posix::Clock::time_point due{};
};

Timer::Timer() : impl_(std::make_unique<Impl>(*this, posix::ThreadLoop::Acquire())) {}

Timer::~Timer() = default;

void Timer::SetInterval(std::uint32_t milliseconds) {
  if (milliseconds == impl_->interval) return;
  impl_->interval = milliseconds;
  if (impl_->running) impl_->Restart();
}

std::uint32_t Timer::Interval() const {
  return impl_->interval;
}

void Timer::Start() {
  if (impl_->running) return;
  impl_->running = true;
  impl_->Restart();
}

void Timer::Stop() {
  impl_->running = false;
}

bool Timer::Running() const {
  return impl_->running;
}

}  // namespace platform
