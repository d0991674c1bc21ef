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

}  // namespace platform
