// The origination date of a message in the form of RFC 5322 section 3.3.
#pragma once

#include <string>

#include "platform/Clock.h"

namespace MailVrex {

// For example "Tue, 08 Dec 2026 14:30:00 +0800". Out-of-range fields are clamped, never read past a
// table.
std::string FormatDateField(const platform::LocalTime& time);

}  // namespace MailVrex
