// The message component: the top entity of a MIME tree, its header-level
// operations, and the assembly of bodies and files into one message text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mime/EncodingType.h"
#include "mail/mime/ProgressEvent.h"
#include "mail/mime/TMailPart.h"
#include "mail/mime/TMailRecipients.h"
#include "platform/Clock.h"

namespace MailVrex {

// What the operation calling ArrangeParts is about to add.
enum class TPartAnnouncement : std::uint8_t { paNone, paBody, paAttachedFile, paEmbeddedFile };

// The message owns every inner part it creates (ownedParts_); the tree, the
// attachment list and the role fields only refer to them. A part destroyed
// before the message is first taken out of every one of those references.
class TMailMessageVrex : public TMailPart {
 public:
  TMailMessageVrex();
  TMailMessageVrex(const TMailMessageVrex&) = delete;
  TMailMessageVrex& operator=(const TMailMessageVrex&) = delete;
  ~TMailMessageVrex();

  // Every attached or embedded file part, in the order added; may hold the
  // message itself while its single entity is a file.
  TMailPartList Attachments;
  TMailPart* TextPart = nullptr;
  TMailPart* HtmlPart = nullptr;
  TMailPart* MixedPart = nullptr;
  TMailPart* RelatedPart = nullptr;
  TMailPart* AlternativePart = nullptr;
  TMailPart* BodyContainer = nullptr;
  std::string Charset = "gb2312";
  // Stored for the owner; the message never raises it.
  TProgressEvent OnProgress;
  std::int32_t UnnamedCount = 0;
  TMailRecipients ToList;
  TMailRecipients CcList;
  TMailRecipients BccList;
  TEncodingType TextEncoding = TEncodingType::etQuotedPrintable;
  bool NeedRebuild = false;

  // Header level.
  void Reset();
  // An address that is not one mail address raises MailError naming it and
  // leaves the field as it was; an empty one removes the field.
  void SetFrom(std::string_view name, std::string_view address);
  void SetSubject(std::string_view text);
  void SetPriority(std::int32_t priority);
  // Message-ID "<yyyymmddhhnnss.R1.R2@host>" with two fresh random groups.
  void SetMessageId(std::string_view host);
  // Date: the origination date of RFC 5322 section 3.6.1, for the given local time.
  void SetDate(const platform::LocalTime& time);
  // The address of entry index, or empty when there is none; an address
  // that is not one mail address raises MailError naming it.
  std::string FromAddress() const;
  std::string AddressOfField(std::string_view fieldName, int index) const;
  // Entry index of a list of entries separated by "," or ";".
  static std::string NameInList(std::string_view text, int index);
  static std::string AddressInList(std::string_view text, int index);

  // Bodies and files.
  void SetTextBody(std::string_view text);
  void SetHtmlBody(std::string_view text);
  // role is TextPart or HtmlPart.
  void StoreBody(std::string_view text, TMailPart*& role, std::string_view contentType);
  // Throws MailError naming the file when it cannot be read; the message is
  // then unchanged.
  void AttachFile(const std::string& fileName, std::string_view contentType, TEncodingType encoding,
                  bool embedded);
  // The stream is taken over (moved in by callers that no longer need it).
  void AttachStream(std::string stream, std::string_view fileName, std::string_view contentType,
                    TEncodingType encoding, bool embedded);
  void ArrangeParts(TPartAnnouncement announcement);
  // Writes the multipart text into Body when the message has sub-parts and
  // sets Content-Length; nothing when NeedRebuild is false.
  void Rebuild();

  // Number of inner parts the message currently owns.
  std::size_t OwnedPartCount() const { return ownedParts_.size(); }
  bool OwnsPart(const TMailPart* part) const;

 private:
  struct Containers {
    TMailPart* Mixed = nullptr;
    TMailPart* Related = nullptr;
    TMailPart* Alternative = nullptr;
  };

  TMailPart* CreatePart();
  TMailPart* CreatePartIn(TMailPart* parent);
  // Destroys part and, first, every part in its SubParts; every reference to
  // it (parents, children, Attachments, roles) is cleared.
  void DestroyPart(TMailPart* part);
  void ForgetPart(const TMailPart* part);

  void MoveOwnContentOut();
  void ClearOwnContentFields();
  void MakeContainers(Containers& made, int bodies, int attached, int embedded);
  void MakeMixed(Containers& made);
  TMailPart* MakeContainer(TMailPart* parent, std::string_view type, std::string_view suffix);
  void PlaceBodyPart(TMailPart* part, std::string_view contentType);
  void PlaceAttachment(TMailPart* part, const Containers& made);
  void DiscardContainer(TMailPart* container);

  std::size_t WrittenSize(const TMailPart& entity) const;
  void WriteParts(const TMailPart& entity);

  std::vector<std::unique_ptr<TMailPart>> ownedParts_;
};

}  // namespace MailVrex
