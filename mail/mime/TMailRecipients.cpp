// Reading an address field into name and address pairs and writing it back.
#include "mail/mime/TMailRecipients.h"

#include "mail/codec/MailAddress.h"
#include "mail/codec/TextUtil.h"
#include "mail/mime/AddressEntries.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {

TMailRecipients::TMailRecipients(TMailMessageVrex& message, std::string_view fieldName)
    : message_(message), fieldName_(fieldName) {}

int TMailRecipients::Count() {
  ParseField();
  return static_cast<int>(addresses_.size());
}

const std::vector<std::string>& TMailRecipients::Names() {
  ParseField();
  return names_;
}

const std::vector<std::string>& TMailRecipients::Addresses() {
  ParseField();
  return addresses_;
}

std::string TMailRecipients::AddressesAsCommaText() {
  ParseField();
  // Mail addresses hold no comma, quote or blank: joined, they split again
  // into exactly these.
  std::string text;
  for (std::size_t i = 0; i < addresses_.size(); ++i) {
    if (i > 0) text += ',';
    text += addresses_[i];
  }
  return text;
}

void TMailRecipients::Add(std::string_view name, std::string_view address) {
  ParseField();
  // The field is made whole before anything changes: a refused address or
  // charset leaves the lists and the field as they were.
  std::string value;
  for (std::size_t i = 0; i < addresses_.size(); ++i) {
    value += MailboxText(names_[i], addresses_[i], message_.Charset);
    value += ", ";
  }
  value += MailboxText(name, address, message_.Charset);
  // A blank name is not written, so it reads back as none.
  names_.emplace_back(TrimBlanksView(name).empty() ? std::string_view() : name);
  addresses_.emplace_back(address);
  WriteField(value);
}

void TMailRecipients::ParseField() {
  std::string value = message_.GetFieldValue(fieldName_);
  if (seenValue_ == value) return;
  std::vector<std::string> names;
  std::vector<std::string> addresses;
  for (const AddressEntry& entry : ReadAddressEntries(value)) {
    if (entry.Empty) continue;
    CheckMailAddress(entry.Address);
    names.push_back(entry.Angled ? UnpackHeaderText(entry.Name) : std::string());
    addresses.push_back(entry.Address);
  }
  names_ = std::move(names);
  addresses_ = std::move(addresses);
  seenValue_ = std::move(value);
}

void TMailRecipients::WriteField(std::string_view value) {
  message_.SetFieldValue(fieldName_, value);
  seenValue_ = message_.GetFieldValue(fieldName_);
}

}  // namespace MailVrex
