// One MIME entity: its unfolded header lines, its body as transmitted and as
// content, and the entities nested in it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/mime/EncodingType.h"
#include "mail/mime/TMailPartList.h"

namespace MailVrex {

class TMailMessageVrex;

// A part never owns its children: the message that created a part owns it
// (see TMailMessageVrex), and SubParts, ParentPart and OwnerMessage only refer.
// Parts refer to each other by address, so they are neither copied nor moved.
class TMailPart {
 public:
  TMailPart() = default;
  TMailPart(const TMailPart&) = delete;
  TMailPart& operator=(const TMailPart&) = delete;
  ~TMailPart() = default;

  // One entry per field, without line end, in output order.
  std::vector<std::string> HeaderLines;
  // The body exactly as transmitted.
  std::string Body;
  // The content before transfer encoding.
  std::string DecodedBody;
  // Boundary of the container holding this part, without quotes.
  std::string ParentBoundary;
  TMailMessageVrex* OwnerMessage = nullptr;
  TMailPartList SubParts;
  TMailPart* ParentPart = nullptr;
  bool IsDecoded = false;
  bool IsEmbedded = false;

  // Value of the first line of the field, or empty; one enclosing pair of
  // quotation marks is removed from a value longer than two characters.
  std::string GetFieldValue(std::string_view name) const;
  // Sets the first line of the field, appending it if missing; an empty
  // value removes the line. A line break in the value never starts a header
  // line: CR LF before a blank goes (unfolding), any other becomes a blank.
  void SetFieldValue(std::string_view name, std::string_view value);
  // The same for a field whose ";" and quotes are text, not parameters (a
  // subject): the whole rest of the line is replaced, so nothing of an earlier
  // value stays behind.
  void SetFieldText(std::string_view name, std::string_view value);
  // Sets or adds a parameter of the first line of the field, appending the
  // line if missing. The value is stored as given (quotes included), its
  // line breaks treated as SetFieldValue treats them.
  void SetFieldParam(std::string_view name, std::string_view param, std::string_view value);

  // Fills DecodedBody from Body by the Content-Transfer-Encoding field, once.
  void Decode();
  // Fills Body from DecodedBody and sets the Content-Transfer-Encoding field.
  void Encode(TEncodingType kind);
  void EncodeQuotedPrintable();
  void EncodeBase64();

  // Folded header, blank line, body: the entity as the SMTP layer sends it.
  std::string GetSourceText() const;
  // The part of that text before the body: folded header and blank line.
  std::string GetHeaderText() const;
  // The same without any line of the field `name` (ASCII case ignored), which
  // stays in HeaderLines.
  std::string GetHeaderTextWithout(std::string_view name) const;

  // Length of the header lines joined with CR LF after each, without
  // building that text.
  std::size_t HeaderTextLength() const;
};

std::string GetFieldParam(const TMailPart& part, std::string_view name, std::string_view param);
// The media type of the Content-Type field in lower case, without parameters.
std::string ContentTypeOf(const TMailPart& part);
std::string BoundaryOf(const TMailPart& part);
// Removes part from its parent's SubParts and clears its ParentPart; does
// nothing for a null part, the message itself or a part its parent lacks.
void DetachFromParent(TMailPart* part);

}  // namespace MailVrex
