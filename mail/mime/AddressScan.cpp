// Cutting one entry's address or display name out of an address list whose
// entries are separated by "," or ";".
#include <string>

#include "mail/codec/MailAddress.h"
#include "mail/mime/AddressEntries.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {
namespace {

// The text between "<" and ">" when the entry has them, else the whole entry;
// empty when there is no such entry or it holds no address. Anything else
// that is not one mail address is refused, never cut into one.
std::string ScanAddress(std::string_view text, int index) {
  std::vector<AddressEntry> entries = ReadAddressEntries(text);
  if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return {};
  const AddressEntry& entry = entries[static_cast<std::size_t>(index)];
  if (entry.Empty || entry.Address.empty()) return {};
  CheckMailAddress(entry.Address);
  return entry.Address;
}

}  // namespace

std::string TMailMessageVrex::AddressOfField(std::string_view fieldName, int index) const {
  return ScanAddress(GetFieldValue(fieldName), index);
}

std::string TMailMessageVrex::FromAddress() const {
  return AddressOfField("From", 0);
}

std::string TMailMessageVrex::AddressInList(std::string_view text, int index) {
  return ScanAddress(text, index);
}

// A name only when a "<" follows it; blanks and quoted separators stay.
std::string TMailMessageVrex::NameInList(std::string_view text, int index) {
  std::vector<AddressEntry> entries = ReadAddressEntries(text);
  if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return {};
  return entries[static_cast<std::size_t>(index)].Name;
}

}  // namespace MailVrex
