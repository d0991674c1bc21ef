// Writing the part tree of a message into its body: preamble, delimiter
// lines, inner headers and leaf bodies, in one pass into one reserved buffer.
#include <string>

#include "mail/codec/HeaderLines.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"
#include "platform/LargeBuffer.h"

namespace MailVrex {
namespace {

constexpr std::string_view kPreamble = "This is a multipart message in mime format.\r\n";

// Inner headers go unfolded, except a line too long for mail servers, which
// is folded as the top header is.
std::string InnerHeaderText(const TMailPart& part) {
  std::string text;
  for (const std::string& line : part.HeaderLines) {
    if (line.empty()) continue;
    if (line.size() > kMaxLineLength) {
      text += FoldOverlongLines(FoldHeaderText(line));
    } else {
      text += line;
      text += "\r\n";
    }
  }
  return text;
}

}  // namespace

void TMailMessageVrex::Rebuild() {
  if (!NeedRebuild) return;
  if (!SubParts.Empty()) {
    // Release the earlier body before the new one is reserved, so that the
    // two never stand in memory together.
    std::string().swap(Body);
    Body.reserve(kPreamble.size() + WrittenSize(*this));
    platform::PrepareLargeBuffer(Body);
    Body += kPreamble;
    WriteParts(*this);
  }
  SetFieldValue("Content-Length", std::to_string(Body.size()));
  NeedRebuild = false;
}

// The exact number of bytes WriteParts appends for entity.
std::size_t TMailMessageVrex::WrittenSize(const TMailPart& entity) const {
  std::size_t size = 0;
  for (const TMailPart* sub : entity.SubParts) {
    size += 4 + sub->ParentBoundary.size() + 2 + InnerHeaderText(*sub).size() + 2;
    size += sub->SubParts.Empty() ? sub->Body.size() : WrittenSize(*sub);
  }
  if (!entity.SubParts.Empty()) size += 4 + entity.SubParts.Items(0)->ParentBoundary.size() + 4;
  return size;
}

void TMailMessageVrex::WriteParts(const TMailPart& entity) {
  for (const TMailPart* sub : entity.SubParts) {
    Body += "\r\n--";
    Body += sub->ParentBoundary;
    Body += "\r\n";
    Body += InnerHeaderText(*sub);
    Body += "\r\n";
    if (sub->SubParts.Empty()) {
      Body += sub->Body;
    } else {
      WriteParts(*sub);
    }
  }
  if (!entity.SubParts.Empty()) {
    Body += "\r\n--";
    Body += entity.SubParts.Items(0)->ParentBoundary;
    Body += "--\r\n";
  }
}

}  // namespace MailVrex
