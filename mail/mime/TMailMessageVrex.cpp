// The message's life, the parts it owns, and its header-level operations.
#include "mail/mime/TMailMessageVrex.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "mail/codec/Random.h"
#include "mail/mime/AddressEntries.h"
#include "mail/mime/DateField.h"
#include "mail/mime/HeaderText.h"
#include "platform/Clock.h"

namespace MailVrex {
namespace {

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string HexGroup(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

std::string DateTimeDigits(const platform::LocalTime& now) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", now.year);
  return year + TwoDigits(now.month) + TwoDigits(now.day) + TwoDigits(now.hour) +
         TwoDigits(now.minute) + TwoDigits(now.second);
}

}  // namespace

TMailMessageVrex::TMailMessageVrex()
    : ToList(*this, "To"), CcList(*this, "Cc"), BccList(*this, "Bcc") {
  OwnerMessage = this;
}

// Parts refer to each other only by address and hold nothing to release, so
// the owned parts can simply go with the vector.
TMailMessageVrex::~TMailMessageVrex() = default;

bool TMailMessageVrex::OwnsPart(const TMailPart* part) const {
  return std::any_of(
      ownedParts_.begin(), ownedParts_.end(),
      [part](const std::unique_ptr<TMailPart>& owned) { return owned.get() == part; });
}

TMailPart* TMailMessageVrex::CreatePart() {
  auto part = std::make_unique<TMailPart>();
  part->OwnerMessage = this;
  ownedParts_.push_back(std::move(part));
  return ownedParts_.back().get();
}

TMailPart* TMailMessageVrex::CreatePartIn(TMailPart* parent) {
  TMailPart* part = CreatePart();
  part->ParentPart = parent;
  part->ParentBoundary = BoundaryOf(*parent);
  parent->SubParts.Add(part);
  return part;
}

void TMailMessageVrex::ForgetPart(const TMailPart* part) {
  auto forgetIn = [part](TMailPart& holder) {
    holder.SubParts.RemoveAll(part);
    if (holder.ParentPart == part) holder.ParentPart = nullptr;
  };
  forgetIn(*this);
  for (const auto& owned : ownedParts_) forgetIn(*owned);
  Attachments.RemoveAll(part);
  for (TMailPart** role :
       {&TextPart, &HtmlPart, &MixedPart, &RelatedPart, &AlternativePart, &BodyContainer})
    if (*role == part) *role = nullptr;
}

void TMailMessageVrex::DestroyPart(TMailPart* part) {
  if (part == nullptr || part == this || !OwnsPart(part)) return;
  // Children go first, as a part's children never outlive it; copy the list
  // since each destruction edits it.
  std::vector<TMailPart*> children(part->SubParts.begin(), part->SubParts.end());
  for (TMailPart* child : children) DestroyPart(child);
  ForgetPart(part);
  auto owned =
      std::find_if(ownedParts_.begin(), ownedParts_.end(),
                   [part](const std::unique_ptr<TMailPart>& p) { return p.get() == part; });
  ownedParts_.erase(owned);
}

void TMailMessageVrex::Reset() {
  // Every owned part goes, in the tree or not, so that nothing of one mail
  // survives into the next.
  while (!ownedParts_.empty()) DestroyPart(ownedParts_.back().get());
  HeaderLines.clear();
  std::string().swap(Body);
  std::string().swap(DecodedBody);
  SubParts.Clear();
  Attachments.Clear();
  TextPart = HtmlPart = MixedPart = RelatedPart = AlternativePart = BodyContainer = nullptr;
  IsDecoded = false;
  IsEmbedded = false;
  NeedRebuild = false;
  UnnamedCount = 0;
}

void TMailMessageVrex::SetFrom(std::string_view name, std::string_view address) {
  SetFieldValue("From", address.empty() ? std::string() : MailboxText(name, address, Charset));
}

void TMailMessageVrex::SetSubject(std::string_view text) {
  SetFieldText("Subject", text.empty() ? std::string() : PackHeaderText(text, Charset));
}

void TMailMessageVrex::SetPriority(std::int32_t priority) {
  SetFieldValue("X-Priority", std::to_string(priority));
}

void TMailMessageVrex::SetMessageId(std::string_view host) {
  std::string first = HexGroup(NextRandom());
  std::string second = HexGroup(NextRandom());
  SetFieldValue("Message-ID", '<' + DateTimeDigits(platform::NowLocal()) + '.' + first + '.' +
                                  second + '@' + CleanToken(host) + '>');
}

void TMailMessageVrex::SetDate(const platform::LocalTime& time) {
  SetFieldValue("Date", FormatDateField(time));
}

}  // namespace MailVrex
