// The one exception type of the mail library: errors of use and codec errors,
// each carrying the message text that reaches the script.
#pragma once

#include <stdexcept>

namespace MailVrex {

class MailError : public std::runtime_error {
 public:
  using runtime_error::runtime_error;
};

}  // namespace MailVrex
