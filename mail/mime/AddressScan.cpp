// Cutting one entry's address or display name out of an address list whose
// entries are separated by "," or ";".
#include <string>

#include "mail/codec/TextUtil.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {
namespace {

bool IsSeparator(char c) {
  return c == ',' || c == ';';
}

// The text between "<" and ">" when the entry has them, else the entry
// without its blanks and quoted stretches.
std::string ScanAddress(std::string_view text, int index) {
  int count = 0;
  bool inQuote = false;
  std::string result;
  for (char c : text) {
    if (c == '"') {
      inQuote = !inQuote;
      continue;
    }
    if (!inQuote && IsSeparator(c)) ++count;
    if (count > index) break;
    if (count < index || inQuote) continue;
    if (c != ' ' && c != '<' && c != '>' && !IsSeparator(c)) result += c;
    if (c == '<') result.clear();
    if (c == '>') break;
  }
  // The address goes unencoded into headers and the SMTP envelope.
  return CleanToken(TrimBlanks(result));
}

}  // namespace

std::string TMailMessageVrex::AddressOfField(std::string_view fieldName, int index) const {
  return ScanAddress(TrimBlanks(GetFieldValue(fieldName)), index);
}

std::string TMailMessageVrex::FromAddress() const {
  return AddressOfField("From", 0);
}

std::string TMailMessageVrex::AddressInList(std::string_view text, int index) {
  return ScanAddress(TrimBlanks(text), index);
}

// A name only when a "<" follows it; blanks and quoted separators stay.
std::string TMailMessageVrex::NameInList(std::string_view text, int index) {
  std::string list = TrimBlanks(text);
  int count = 0;
  bool inQuote = false;
  std::string result;
  for (std::size_t at = 0; at < list.size(); ++at) {
    char c = list[at];
    if (c == '"') {
      inQuote = !inQuote;
    } else {
      bool separator = !inQuote && IsSeparator(c);
      if (separator && ++count > index) return {};
      if (count == index) {
        if (!inQuote && c == '<') break;
        if (!separator) result += c;
      }
    }
    if (at + 1 == list.size()) result.clear();
  }
  return TrimBlanks(result);
}

}  // namespace MailVrex
