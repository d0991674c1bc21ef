// The one exception type of the mail library: errors of use and codec errors,
// each carrying the message text that reaches the script.
#pragma once

#include <stdexcept>
#include <utility>

namespace MailVrex {

class MailError : public std::runtime_error {
 public:
  using runtime_error::runtime_error;
};

// Runs `action`; a failure that the platform raises in it (a file, a socket, a
// timer, the event window) comes out as a MailError with the same text, so that
// callers of a component have one type to catch.
template <class Action>
decltype(auto) RaisingMailError(Action&& action) {
  try {
    return std::forward<Action>(action)();
  } catch (const MailError&) {
    throw;
  } catch (const std::runtime_error& failure) {
    throw MailError(failure.what());
  }
}

}  // namespace MailVrex
