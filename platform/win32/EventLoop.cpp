// The thread's event loop on Windows: its message queue, emptied by PeekMessage and waited on
// by MsgWaitForMultipleObjectsEx, so that a wait sleeps until a message or a timer is due.
#include "platform/EventLoop.h"

#include "platform/win32/MessageWindow.h"

namespace platform {

namespace {

// A WM_QUIT stands ahead of WM_TIMER in the queue and keeps the queue reading as not empty:
// left there, a wait would find it again at once, never sleep and never see its time-out.
// Inside a wait it is taken out and kept here until the outermost wait ends.
struct HeldQuit {
  int scopes = 0;
  bool held = false;
  WPARAM exitCode = 0;
};

thread_local HeldQuit heldQuit;

}  // namespace

WaitScope::WaitScope() {
  ++heldQuit.scopes;
}

WaitScope::~WaitScope() {
  if (--heldQuit.scopes > 0 || !heldQuit.held) return;
  heldQuit.held = false;
  ::PostQuitMessage(static_cast<int>(heldQuit.exitCode));
}

void DispatchPendingEvents() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      if (heldQuit.scopes > 0) {
        heldQuit.held = true;
        heldQuit.exitCode = message.wParam;
        continue;
      }
      // Left for the thread's own message loop, which must see it.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    win32::MessageWindow::RethrowPending();
  }
}

void WaitForEvents(int milliseconds) {
  const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
  ::MsgWaitForMultipleObjectsEx(0, nullptr, limit, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace platform
