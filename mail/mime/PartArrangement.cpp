// Rearranging a message's parts into the multipart containers its bodies,
// attached files and embedded files call for.
#include <string>
#include <utility>

#include "mail/codec/ContentTypes.h"
#include "mail/codec/HeaderQuoting.h"
#include "mail/codec/Random.h"
#include "mail/codec/TextUtil.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"

namespace MailVrex {
namespace {

void SetBoundary(TMailPart& part, std::string_view type, std::string_view suffix) {
  part.SetFieldValue("Content-Type", type);
  part.SetFieldParam("Content-Type", "boundary",
                     '"' + MakeBoundaryText() + std::string(suffix) + '"');
}

void PlaceUnder(TMailPart& part, TMailPart& container) {
  part.ParentPart = &container;
  part.ParentBoundary = BoundaryOf(container);
  container.SubParts.Add(&part);
}

}  // namespace

void TMailMessageVrex::ArrangeParts(TPartAnnouncement announcement) {
  if (announcement == TPartAnnouncement::paNone) return;
  NeedRebuild = true;
  UnnamedCount = 0;

  int bodies =
      (announcement == TPartAnnouncement::paBody ? 1 : 0) + (TextPart ? 1 : 0) + (HtmlPart ? 1 : 0);
  int attached = announcement == TPartAnnouncement::paAttachedFile ? 1 : 0;
  int embedded = announcement == TPartAnnouncement::paEmbeddedFile ? 1 : 0;
  for (TMailPart* part : Attachments) ++(part->IsEmbedded ? embedded : attached);

  MoveOwnContentOut();
  Attachments.RemoveAll(this);
  ClearOwnContentFields();

  Containers made;
  MakeContainers(made, bodies, attached, embedded);
  if (TextPart != nullptr) PlaceBodyPart(TextPart, "text/plain");
  if (HtmlPart != nullptr) PlaceBodyPart(HtmlPart, "text/html");
  std::vector<TMailPart*> files(Attachments.begin(), Attachments.end());
  for (TMailPart* file : files) PlaceAttachment(file, made);

  DiscardContainer(AlternativePart);
  DiscardContainer(RelatedPart);
  DiscardContainer(MixedPart);
  MixedPart = made.Mixed;
  RelatedPart = made.Related;
  AlternativePart = made.Alternative;
}

// The message's own single body (a text, an HTML text or a file) moves into a
// part of its own before the message becomes a container. It moves also when
// empty, so the message never ends up below itself in its own tree.
void TMailMessageVrex::MoveOwnContentOut() {
  bool holdsContent = TextPart == this || HtmlPart == this || Attachments.Contains(this);
  if (Body.empty() && !holdsContent) return;
  TMailPart* moved = CreatePart();
  // Moved, not copied: the message's body is rewritten by Rebuild anyway.
  moved->Body = std::move(Body);
  Body.clear();
  moved->DecodedBody = std::move(DecodedBody);
  DecodedBody.clear();
  moved->IsDecoded = IsDecoded;
  IsDecoded = false;
  for (const std::string& line : HeaderLines)
    if (StartsWithIgnoringAsciiCase(line, "content-")) moved->HeaderLines.push_back(line);

  for (TMailPart** role : {&TextPart, &HtmlPart, &MixedPart, &RelatedPart, &AlternativePart}) {
    if (*role == this) {
      *role = moved;
      return;
    }
  }
  if (SubParts.Empty()) {
    Attachments.Add(moved);
  } else {
    DestroyPart(moved);
  }
}

void TMailMessageVrex::ClearOwnContentFields() {
  for (const char* field : {"Content-Type", "Content-Transfer-Encoding", "Content-Disposition",
                            "Content-ID", "Content-Length"})
    SetFieldValue(field, "");
  SetFieldValue("Mime-Version", "1.0");
  SetFieldValue("X-Mailer", "Pellam MailVrex");
}

void TMailMessageVrex::MakeContainers(Containers& made, int bodies, int attached, int embedded) {
  BodyContainer = nullptr;
  // Each condition makes the message mixed afresh; the last boundary stands.
  if (attached > 1) MakeMixed(made);
  if (attached > 0 && bodies > 0) MakeMixed(made);
  if (attached > 0 && embedded > 0) MakeMixed(made);
  if (embedded > 0) {
    made.Related = MakeContainer(made.Mixed, "multipart/related", "_related");
    BodyContainer = made.Related;
  }
  if (bodies > 1) {
    made.Alternative = MakeContainer(BodyContainer, "multipart/alternative", "_alternative");
    BodyContainer = made.Alternative;
  }
}

void TMailMessageVrex::MakeMixed(Containers& made) {
  SetBoundary(*this, "multipart/mixed", "_mixed");
  made.Mixed = this;
  BodyContainer = this;
}

// Without a parent the message itself is the container.
TMailPart* TMailMessageVrex::MakeContainer(TMailPart* parent, std::string_view type,
                                           std::string_view suffix) {
  TMailPart* container = parent != nullptr ? CreatePartIn(parent) : this;
  SetBoundary(*container, type, suffix);
  return container;
}

void TMailMessageVrex::PlaceBodyPart(TMailPart* part, std::string_view contentType) {
  // Only a message with one body and no file has no container, and that
  // message is never arranged.
  if (BodyContainer == nullptr || part == this) return;
  DetachFromParent(part);
  part->SetFieldValue("Content-Type", contentType);
  part->SetFieldValue("Content-Disposition", "inline");
  part->Decode();
  part->Encode(TextEncoding);
  part->SetFieldValue("Content-Length", std::to_string(part->Body.size()));
  part->SubParts.Clear();
  PlaceUnder(*part, *BodyContainer);
}

void TMailMessageVrex::PlaceAttachment(TMailPart* part, const Containers& made) {
  TMailPart* container = part->IsEmbedded ? made.Related : made.Mixed;
  if (part == this || container == nullptr) return;
  DetachFromParent(part);
  if (part->GetFieldValue("Content-Type").empty())
    part->SetFieldValue("Content-Type", "application/octet-stream");
  std::string extension = ExtensionOfContentType(part->GetFieldValue("Content-Type"));
  if (GetFieldParam(*part, "Content-Type", "name").empty()) {
    part->SetFieldParam("Content-Type", "name",
                        QuotedString("file_" + std::to_string(UnnamedCount) + extension));
    ++UnnamedCount;
  }
  std::string name = GetFieldParam(*part, "Content-Type", "name");
  if (GetFieldParam(*part, "Content-Disposition", "filename").empty())
    part->SetFieldParam("Content-Disposition", "filename", QuotedString(name));
  if (part->IsEmbedded) {
    if (part->GetFieldValue("Content-ID").empty())
      part->SetFieldValue("Content-ID", ContentIdOf(name));
    part->SetFieldValue("Content-Disposition", "inline");
  } else {
    part->SetFieldValue("Content-Disposition", "attachment");
  }
  PlaceUnder(*part, *container);
}

// A container of the previous arrangement goes with whatever it still holds.
void TMailMessageVrex::DiscardContainer(TMailPart* container) {
  if (container == nullptr || container == this) return;
  DetachFromParent(container);
  DestroyPart(container);
}

}  // namespace MailVrex
