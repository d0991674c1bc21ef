// One address field of a message ("To", "Cc" or "Bcc") seen as a list of
// display names and addresses. The header line stays the only stored truth;
// the list is read again whenever the field's value differs from the one it
// was read from.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace MailVrex {

class TMailMessageVrex;

class TMailRecipients {
 public:
  TMailRecipients(TMailMessageVrex& message, std::string_view fieldName);
  TMailRecipients(const TMailRecipients&) = delete;
  TMailRecipients& operator=(const TMailRecipients&) = delete;

  int Count();
  // Addresses joined with ","; one holding a byte up to 0x20, a double quote
  // or a comma is quoted with its double quotes doubled.
  std::string AddressesAsCommaText();
  // Bytes below 0x21 are dropped from the address: it reaches the header and
  // the SMTP envelope unencoded.
  void Add(std::string_view name, std::string_view address);

  // The entries as last read, for callers that want more than the addresses.
  const std::vector<std::string>& Names();
  const std::vector<std::string>& Addresses();

  const std::string& FieldName() const { return fieldName_; }

 private:
  void ParseField();
  void WriteField();
  void EndEntry(std::string& name, std::string& address, bool sawAngle);

  TMailMessageVrex& message_;
  std::string fieldName_;
  std::vector<std::string> names_;
  std::vector<std::string> addresses_;
  // The field value the lists were read from or written as; none before the
  // first reading.
  std::optional<std::string> seenValue_;
};

}  // namespace MailVrex
