// The timer on Windows: SetTimer and KillTimer on the thread's message-only window.
#include "platform/Timer.h"

#include <stdexcept>

#include "platform/win32/MessageWindow.h"

namespace platform {

struct Timer::Impl {
  Impl(Timer& self, win32::MessageWindow& messageWindow) : owner(self), window(messageWindow) {}
  ~Impl() {
    Disarm();
    win32::MessageWindow::Release(window);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void Arm() {
    if (interval == 0) return;  // never fires
    id = window.RegisterTimer([this] {
      if (running && owner.OnTimer) owner.OnTimer();
    });
    if (::SetTimer(window.Handle(), id, interval, nullptr) == 0) {
      Disarm();
      running = false;
      throw std::runtime_error("no timer available");
    }
  }

  void Disarm() {
    if (id == 0) return;
    ::KillTimer(window.Handle(), id);
    window.UnregisterTimer(id);
    id = 0;
  }

  Timer& owner;
  win32::MessageWindow& window;
  UINT_PTR id = 0;
  std::uint32_t interval = 0;
  bool running = false;
};

Timer::Timer() : impl_(std::make_unique<Impl>(*this, win32::MessageWindow::Acquire())) {}

Timer::~Timer() = default;

void Timer::SetInterval(std::uint32_t milliseconds) {
  if (milliseconds == impl_->interval) return;
  impl_->interval = milliseconds;
  if (!impl_->running) return;
  impl_->Disarm();
  impl_->Arm();
}

std::uint32_t Timer::Interval() const {
  return impl_->interval;
}

void Timer::Start() {
  if (impl_->running) return;
  impl_->running = true;
  impl_->Arm();
}

void Timer::Stop() {
  impl_->running = false;
  impl_->Disarm();
}

bool Timer::Running() const {
  return impl_->running;
}

}  // namespace platform
