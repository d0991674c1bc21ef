// The calling thread's event source: socket notifications and timers of that thread are
// handled only inside DispatchPendingEvents.
#pragma once

namespace platform {

// Handles every event pending for the calling thread (including those that arrive while
// handling) and returns. An exception thrown by a handler passes to the caller.
void DispatchPendingEvents();

// Blocks until an event for the calling thread is pending, one of its timers is due, or
// `milliseconds` pass (negative: no limit of its own). Handles nothing.
void WaitForEvents(int milliseconds);

// Marks a wait of the calling thread that dispatches its events until its own end. Where the
// thread has a message loop of its own (Windows), a request to end that loop which a dispatch
// meets meanwhile is held back, so that it neither ends the wait early nor keeps the wait from
// sleeping, and is passed on again when the outermost scope ends: the loop still sees it.
class WaitScope {
 public:
  WaitScope();
  ~WaitScope();
  WaitScope(const WaitScope&) = delete;
  WaitScope& operator=(const WaitScope&) = delete;
};

}  // namespace platform
