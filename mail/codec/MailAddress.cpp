// The address rule of the library: one mailbox, written and sent as given.
#include "mail/codec/MailAddress.h"

#include "mail/codec/MailError.h"

namespace MailVrex {
namespace {

// RFC 5322 3.2.3 atext.
bool IsAtext(char ch) {
  constexpr std::string_view kSymbols = "!#$%&'*+-/=?^_`{|}~";
  return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
         kSymbols.find(ch) != std::string_view::npos;
}

// Atoms of atext joined by single dots.
bool IsDotAtom(std::string_view text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '.') {
      if (text[at + 1] == '.') return false;
    } else if (!IsAtext(text[at])) {
      return false;
    }
  }
  return true;
}

// "[" address "]" with the letters, digits, dots, colons and hyphens that IPv4, IPv6 and tagged
// address literals are written in. Other printable bytes a literal could hold by the grammar,
// such as ">", "," or a quote, would end the address early where it is read back or sent.
bool IsAddressLiteral(std::string_view text) {
  if (text.size() < 3 || text.front() != '[' || text.back() != ']') return false;
  for (char ch : text.substr(1, text.size() - 2)) {
    const bool allowed = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                         (ch >= '0' && ch <= '9') || ch == '.' || ch == ':' || ch == '-';
    if (!allowed) return false;
  }
  return true;
}

}  // namespace

bool IsMailAddress(std::string_view address) {
  if (address.size() > kMaxAddressLength) return false;
  std::size_t at = address.rfind('@');
  if (at == std::string_view::npos) return false;
  std::string_view local = address.substr(0, at);
  std::string_view domain = address.substr(at + 1);
  return IsDotAtom(local) && (IsDotAtom(domain) || IsAddressLiteral(domain));
}

std::string InvalidAddressText(std::string_view address) {
  return "Invalid mail address: " + std::string(address);
}

void CheckMailAddress(std::string_view address) {
  if (!IsMailAddress(address)) throw MailError(InvalidAddressText(address));
}

}  // namespace MailVrex
