// Adding bodies and files to a message: each becomes a part, encoded and
// given its header fields, once the tree has room for it.
#include <string>
#include <utility>

#include "mail/codec/ContentTypes.h"
#include "mail/codec/HeaderQuoting.h"
#include "mail/codec/LineBreaks.h"
#include "mail/codec/MailError.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"
#include "platform/Files.h"

namespace MailVrex {
namespace {

// The text after the last path or drive separator.
std::string_view WithoutDirectory(std::string_view fileName) {
  std::size_t cut = fileName.find_last_of("/\\:");
  return cut == std::string_view::npos ? fileName : fileName.substr(cut + 1);
}

}  // namespace

void TMailMessageVrex::SetTextBody(std::string_view text) {
  StoreBody(text, TextPart, "text/plain");
}

void TMailMessageVrex::SetHtmlBody(std::string_view text) {
  StoreBody(text, HtmlPart, "text/html");
}

void TMailMessageVrex::StoreBody(std::string_view text, TMailPart*& role,
                                 std::string_view contentType) {
  CheckCharset(Charset);  // before anything changes
  if (role == nullptr) ArrangeParts(TPartAnnouncement::paBody);
  std::string content = EveryLineBreakAsCrLf(text);
  if (role == nullptr) role = BodyContainer != nullptr ? CreatePartIn(BodyContainer) : this;
  TMailPart& part = *role;
  part.DecodedBody = std::move(content);
  // The content is at hand: a later arrangement re-encodes it from here
  // instead of decoding the body again (quoted-printable decoding would stop
  // at a NUL byte, 7bit decoding would read "=XX" as escapes).
  part.IsDecoded = true;
  part.Encode(TextEncoding);
  part.SetFieldValue("Content-Type", WithoutControlBytes(contentType));
  part.SetFieldParam("Content-Type", "charset", QuotedString(Charset));
  part.SetFieldValue("Content-Disposition", "inline");
  part.SetFieldValue("Content-Length", std::to_string(part.Body.size()));
  NeedRebuild = true;
}

void TMailMessageVrex::AttachFile(const std::string& fileName, std::string_view contentType,
                                  TEncodingType encoding, bool embedded) {
  std::string data = RaisingMailError([&] { return platform::ReadWholeFile(fileName); });
  AttachStream(std::move(data), fileName, contentType, encoding, embedded);
}

void TMailMessageVrex::AttachStream(std::string stream, std::string_view fileName,
                                    std::string_view contentType, TEncodingType encoding,
                                    bool embedded) {
  std::string_view name = WithoutDirectory(fileName);
  // Made before anything changes: a refused charset leaves the message as it was.
  const std::string packedName = QuotedString(PackHeaderText(name, Charset));
  ArrangeParts(embedded ? TPartAnnouncement::paEmbeddedFile : TPartAnnouncement::paAttachedFile);
  TMailPart* container = embedded ? RelatedPart : MixedPart;
  TMailPart& part = container != nullptr ? *CreatePartIn(container) : *this;

  part.DecodedBody = std::move(stream);
  part.IsDecoded = true;
  part.Encode(encoding);
  // Only the transmitted form is kept where decoding gives the content back
  // exactly: a large file then stands in memory once as content, not twice.
  if (encoding == TEncodingType::etBase64 || encoding == TEncodingType::etQuotedPrintable) {
    std::string().swap(part.DecodedBody);
    part.IsDecoded = false;
  }

  part.SetFieldValue("Content-Type", contentType.empty() ? ContentTypeOfFile(name)
                                                         : WithoutControlBytes(contentType));
  part.SetFieldParam("Content-Type", "name", packedName);
  part.SetFieldParam("Content-Disposition", "filename", packedName);
  part.SetFieldValue("Content-Length", std::to_string(part.Body.size()));
  part.IsEmbedded = embedded;
  if (embedded) {
    part.SetFieldValue("Content-Disposition", "inline");
    part.SetFieldValue("Content-ID", ContentIdOf(name));
  } else {
    part.SetFieldValue("Content-Disposition", "attachment");
  }
  Attachments.Add(&part);
  NeedRebuild = true;
}

}  // namespace MailVrex
