// Reading an address field into name and address pairs and writing it back.
#include "mail/mime/TMailRecipients.h"

#include "mail/codec/TextUtil.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {
namespace {

bool IsSeparator(char c) {
  return c == ',' || c == ';';
}
bool IsAngleOrSeparator(char c) {
  return IsSeparator(c) || c == '<' || c == '>';
}

bool NeedsQuotes(std::string_view address) {
  for (char c : address)
    if (static_cast<unsigned char>(c) <= 0x20 || c == '"' || c == ',') return true;
  return false;
}

std::string Quoted(std::string_view address) {
  std::string quoted = "\"";
  for (char c : address) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

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
  // A single empty entry must still be told from an empty list.
  if (addresses_.size() == 1 && addresses_.front().empty()) return "\"\"";
  std::string text;
  for (std::size_t i = 0; i < addresses_.size(); ++i) {
    if (i > 0) text += ',';
    text += NeedsQuotes(addresses_[i]) ? Quoted(addresses_[i]) : addresses_[i];
  }
  return text;
}

void TMailRecipients::Add(std::string_view name, std::string_view address) {
  ParseField();
  names_.emplace_back(name);
  addresses_.push_back(CleanToken(address));
  WriteField();
}

// Addresses read from a field that other code wrote still never carry a
// control byte to the SMTP envelope; spaces stay, to be quoted in the comma
// text.
void TMailRecipients::EndEntry(std::string& name, std::string& address, bool sawAngle) {
  if (sawAngle) {
    names_.push_back(UnpackHeaderText(TrimBlanks(name)));
    addresses_.push_back(WithoutControlBytes(TrimBlanks(address)));
  } else {
    names_.emplace_back();
    addresses_.push_back(WithoutControlBytes(TrimBlanks(name)));
  }
  name.clear();
  address.clear();
}

void TMailRecipients::ParseField() {
  // Keyed on what the lists are read from: a header that changes and keeps its
  // length (another message after Reset) is no reason to keep them.
  std::string field = message_.GetFieldValue(fieldName_);
  if (seenValue_ == field) return;
  std::string value = TrimBlanks(field);
  seenValue_ = std::move(field);
  names_.clear();
  addresses_.clear();

  bool inQuotes = false;
  bool beforeAngle = true;
  std::string name;
  std::string address;
  for (char c : value) {
    if (c == '"') {
      inQuotes = !inQuotes;
      continue;
    }
    if (!inQuotes && IsSeparator(c)) {
      EndEntry(name, address, !beforeAngle);
      beforeAngle = true;
      continue;
    }
    if (beforeAngle) {
      if (inQuotes || !IsAngleOrSeparator(c)) name += c;
    } else if (!inQuotes && c != ' ' && !IsAngleOrSeparator(c)) {
      address += c;
    }
    if (!inQuotes && c == '<') beforeAngle = false;
  }
  if (!value.empty()) EndEntry(name, address, !beforeAngle);
}

void TMailRecipients::WriteField() {
  std::string value;
  for (std::size_t i = 0; i < addresses_.size(); ++i) {
    if (i > 0) value += ", ";
    std::string address = CleanToken(TrimBlanks(addresses_[i]));
    if (!TrimBlanks(names_[i]).empty())
      value += '"' + PackHeaderText(names_[i], message_.Charset) + "\" ";
    value += '<' + address + '>';
  }
  message_.SetFieldValue(fieldName_, value);
  seenValue_ = message_.GetFieldValue(fieldName_);
}

}  // namespace MailVrex
