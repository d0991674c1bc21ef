// Reading the entries of an address list and writing one entry.
#include "mail/mime/AddressEntries.h"

#include "mail/codec/HeaderQuoting.h"
#include "mail/codec/MailAddress.h"
#include "mail/codec/TextUtil.h"
#include "mail/mime/HeaderText.h"

namespace MailVrex {
namespace {

AddressEntry ReadEntry(std::string_view text) {
  AddressEntry entry;
  enum { kName, kAddress, kAfter } area = kName;
  QuoteTracker quotes;
  std::string name;
  std::string address;
  bool malformed = false;
  for (char c : text) {
    bool quoted = quotes.Quoted(c);
    if (area == kName) {
      if (!quoted && c == '<') {
        area = kAddress;
      } else if (!quotes.WasMark()) {
        name += c;
      }
    } else if (area == kAddress) {
      if (!quoted && c == '>') {
        area = kAfter;
      } else {
        address += c;
      }
    } else if (c != ' ') {
      malformed = true;
    }
  }
  std::string whole = TrimBlanks(text);
  entry.Empty = whole.empty();
  entry.Angled = area != kName;
  if (!entry.Angled) {
    entry.Address = whole;
  } else {
    entry.Name = TrimBlanks(name);
    entry.Address = malformed || area == kAddress ? whole : TrimBlanks(address);
  }
  return entry;
}

}  // namespace

bool IsListSeparator(char c) {
  return c == ',' || c == ';';
}

std::vector<AddressEntry> ReadAddressEntries(std::string_view text) {
  std::vector<AddressEntry> entries;
  QuoteTracker quotes;
  std::size_t begin = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (quotes.Quoted(text[at]) || !IsListSeparator(text[at])) continue;
    entries.push_back(ReadEntry(text.substr(begin, at - begin)));
    begin = at + 1;
  }
  entries.push_back(ReadEntry(text.substr(begin)));
  return entries;
}

std::string MailboxText(std::string_view name, std::string_view address, std::string_view charset) {
  CheckMailAddress(address);
  std::string text;
  if (!TrimBlanksView(name).empty()) {
    // Encoded words stand bare: inside a quoted string a reader must not decode them (RFC 2047
    // section 5), and they hold nothing a quoted string would protect.
    std::string packed = PackHeaderText(name, charset);
    text = packed == name ? QuotedString(packed) : std::move(packed);
    text += ' ';
  }
  text += '<';
  text += address;
  text += '>';
  return text;
}

}  // namespace MailVrex
