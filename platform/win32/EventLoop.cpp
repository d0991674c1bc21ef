// The thread's event loop on Windows: its message queue, emptied by PeekMessage and waited on
// by MsgWaitForMultipleObjectsEx, so that a wait sleeps until a message or a timer is due.
#include "platform/EventLoop.h"

#include "platform/win32/MessageWindow.h"

namespace platform {

void DispatchPendingEvents() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
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
