// The per-thread message-only window and the routing of its messages to handlers.
#include "platform/win32/MessageWindow.h"

#include <mutex>
#include <stdexcept>

namespace platform::win32 {

namespace {

thread_local MessageWindow* currentWindow = nullptr;

constexpr wchar_t ClassName[] = L"PellamEventWindow";
constexpr UINT FirstMessage = WM_APP + 0x100;
constexpr UINT LastMessage = 0xBFFF;

HINSTANCE ThisModule() {
  // The module that holds this code, which is a DLL when the component is loaded in-process.
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

HWND MessageOnlyParent() {
  return reinterpret_cast<HWND>(static_cast<LONG_PTR>(-3));
}

}  // namespace

MessageWindow::MessageWindow() : nextMessage_(FirstMessage) {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &MessageWindow::WindowProc;
    windowClass.hInstance = ThisModule();
    windowClass.lpszClassName = ClassName;
    ::RegisterClassW(&windowClass);
  });
  handle_ = ::CreateWindowExW(0, ClassName, L"", 0, 0, 0, 0, 0, MessageOnlyParent(), nullptr,
                              ThisModule(), nullptr);
  if (handle_ == nullptr) throw std::runtime_error("cannot create the event window");
}

MessageWindow::~MessageWindow() {
  ::DestroyWindow(handle_);
}

MessageWindow& MessageWindow::Acquire() {
  if (currentWindow == nullptr) currentWindow = new MessageWindow;
  ++currentWindow->users_;
  return *currentWindow;
}

void MessageWindow::Release(MessageWindow& window) {
  if (--window.users_ > 0) return;
  if (currentWindow == &window) currentWindow = nullptr;
  delete &window;
}

void MessageWindow::RethrowPending() {
  if (currentWindow == nullptr || !currentWindow->pending_) return;
  const auto pending = currentWindow->pending_;
  currentWindow->pending_ = nullptr;
  std::rethrow_exception(pending);
}

void MessageWindow::ForgetWindowClass() {
  ::UnregisterClassW(ClassName, ThisModule());
}

UINT MessageWindow::RegisterMessage(MessageHandler handler) {
  // Numbers are handed out in rotation, so that a message still queued for a freed socket
  // finds no handler rather than a new socket's.
  for (UINT tries = FirstMessage; tries <= LastMessage; ++tries) {
    const UINT message = nextMessage_;
    nextMessage_ = nextMessage_ == LastMessage ? FirstMessage : nextMessage_ + 1;
    if (messages_.count(message) == 0) {
      messages_[message] = std::move(handler);
      return message;
    }
  }
  throw std::runtime_error("no message number left for the event window");
}

void MessageWindow::UnregisterMessage(UINT message) {
  messages_.erase(message);
}

UINT_PTR MessageWindow::RegisterTimer(std::function<void()> handler) {
  const UINT_PTR id = nextTimer_++;
  timers_[id] = std::move(handler);
  return id;
}

void MessageWindow::UnregisterTimer(UINT_PTR id) {
  timers_.erase(id);
}

bool MessageWindow::Route(UINT message, WPARAM wParam, LPARAM lParam) {
  // Copies, because a handler may unregister itself while it runs.
  if (message == WM_TIMER) {
    const auto found = timers_.find(wParam);
    if (found == timers_.end()) return false;
    const auto handler = found->second;
    handler();
    return true;
  }
  const auto found = messages_.find(message);
  if (found == messages_.end()) return false;
  const auto handler = found->second;
  handler(wParam, lParam);
  return true;
}

LRESULT CALLBACK MessageWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  MessageWindow* self = currentWindow;
  if (self != nullptr && self->handle_ == window) {
    // Nothing may unwind through the system's dispatch: keep it for RethrowPending.
    try {
      if (self->Route(message, wParam, lParam)) return 0;
    } catch (...) {
      if (!self->pending_) self->pending_ = std::current_exception();
      return 0;
    }
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace platform::win32
