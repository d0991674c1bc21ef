// The entries of an address list and the writing of one entry: the one way
// addresses and display names are read from fields and script texts and
// written into fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace MailVrex {

// "," and ";" separate the entries of an address list outside quoted strings.
bool IsListSeparator(char c);

struct AddressEntry {
  // The display name before "<", its quoted strings unquoted; empty when the
  // entry has no "<".
  std::string Name;
  // Between "<" and ">", or the whole entry when it has no "<"; blanks
  // around it trimmed. An entry with text after its ">", or a "<" that no
  // ">" closes, gives the whole entry, which no address rule accepts.
  std::string Address;
  bool Angled = false;
  // Nothing but blanks: no address was given.
  bool Empty = true;
};

// Every entry of the text in order, empty ones included (a separator at the
// end adds one); an empty text gives one empty entry.
std::vector<AddressEntry> ReadAddressEntries(std::string_view text);

// One entry as a field holds it: the name, when it is not blank, as a quoted
// string, or as the encoded words of PackHeaderText in the charset when it
// needs them; a blank, then "<" address ">".
// Raises MailError naming the address unless it is a mail address.
std::string MailboxText(std::string_view name, std::string_view address, std::string_view charset);

}  // namespace MailVrex
