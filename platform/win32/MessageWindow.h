// The hidden message-only window of a thread: socket notifications, lookups and timers of that
// thread arrive as its messages, each message number or timer id routed to one handler.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <exception>
#include <functional>
#include <map>

namespace platform::win32 {

class MessageWindow {
 public:
  using MessageHandler = std::function<void(WPARAM wParam, LPARAM lParam)>;

  // The calling thread's window, created on first use and destroyed with its last user.
  static MessageWindow& Acquire();
  static void Release(MessageWindow& window);
  // Rethrows, once, an exception that a handler threw inside DispatchMessage.
  static void RethrowPending();
  // Unregisters the window class when the module that registered it is unloaded, since a later
  // load may place the window procedure elsewhere.
  static void ForgetWindowClass();

  HWND Handle() const { return handle_; }
  // A message number of its own for the handler, until unregistered.
  UINT RegisterMessage(MessageHandler handler);
  void UnregisterMessage(UINT message);
  // A timer id of its own for the handler; a fresh id per arming keeps stale WM_TIMERs out.
  UINT_PTR RegisterTimer(std::function<void()> handler);
  void UnregisterTimer(UINT_PTR id);

  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

 private:
  MessageWindow();
  ~MessageWindow();
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool Route(UINT message, WPARAM wParam, LPARAM lParam);

  HWND handle_ = nullptr;
  int users_ = 0;
  UINT nextMessage_;
  UINT_PTR nextTimer_ = 1;
  std::map<UINT, MessageHandler> messages_;
  std::map<UINT_PTR, std::function<void()>> timers_;
  std::exception_ptr pending_;
};

}  // namespace platform::win32
