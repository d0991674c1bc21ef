// The one rule for a mail address wherever it enters the library: a mailbox
// that reaches the header between "<" and ">" and the SMTP envelope exactly
// as given, with nothing in it that could split, cut or end it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace MailVrex {

// RFC 5321 4.5.3.1.3: a path holds at most 256 octets, its brackets included.
inline constexpr std::size_t kMaxAddressLength = 254;

// local "@" domain: the local part a dot-atom (RFC 5322 3.2.3), the domain a
// dot-atom or an address literal in "[" "]"; printable ASCII only, since
// nothing here speaks SMTPUTF8, and at most kMaxAddressLength octets. Quoted
// local parts are not taken: no list, field or command here could carry one
// unchanged.
bool IsMailAddress(std::string_view address);

// The text of the MailError that refuses an address.
std::string InvalidAddressText(std::string_view address);

// Raises MailError naming the address unless IsMailAddress holds.
void CheckMailAddress(std::string_view address);

}  // namespace MailVrex
