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

  // These read the field first: an entry whose address is not one mail
  // address (see IsMailAddress) raises MailError naming it; empty entries
  // name no one and are skipped.
  int Count();
  // Addresses joined with ",".
  std::string AddressesAsCommaText();
  // The address must be one mail address, or MailError names it and the
  // field stays as it was; the name is written so that it reads back as
  // given.
  void Add(std::string_view name, std::string_view address);

  // The entries as last read, for callers that want more than the addresses.
  const std::vector<std::string>& Names();
  const std::vector<std::string>& Addresses();

  const std::string& FieldName() const { return fieldName_; }

 private:
  void ParseField();
  void WriteField(std::string_view value);

  TMailMessageVrex& message_;
  std::string fieldName_;
  std::vector<std::string> names_;
  std::vector<std::string> addresses_;
  // The field value the lists were read from or written as; none before the
  // first reading.
  std::optional<std::string> seenValue_;
};

}  // namespace MailVrex
