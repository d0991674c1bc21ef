// Header field access, body decoding and encoding, and the source text of one
// MIME entity.
#include "mail/mime/TMailPart.h"

#include <cstddef>
#include <string>

#include "mail/codec/Base64.h"
#include "mail/codec/HeaderLines.h"
#include "mail/codec/LineBreaks.h"
#include "mail/codec/QuotedPrintable.h"
#include "mail/codec/TextUtil.h"
#include "mail/codec/Uucode.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"
#include "platform/LargeBuffer.h"

namespace MailVrex {
namespace {

int FindField(const std::vector<std::string>& lines, std::string_view name) {
  std::string prefix(name);
  prefix += ':';
  return IndexOfHeaderLine(&lines, prefix, 0);
}

bool IsQuotationMark(char c) {
  return c == '"' || c == '\'';
}

// The two marks need not match; a value of just two characters stays.
std::string Unquoted(std::string value) {
  if (value.size() > 2 && IsQuotationMark(value.front()) && IsQuotationMark(value.back()))
    return value.substr(1, value.size() - 2);
  return value;
}

// A field value is one line: a CR LF before a blank is folding and goes, any
// other line break becomes a blank, so none can start a header line of its own.
std::string OnOneLine(std::string_view value) {
  if (value.find_first_of("\r\n") == std::string_view::npos) return std::string(value);
  std::string line;
  line.reserve(value.size());
  for (std::size_t at = 0; at < value.size(); ++at) {
    char c = value[at];
    if (c != '\r' && c != '\n') {
      line += c;
      continue;
    }
    if (c == '\r' && at + 1 < value.size() && value[at + 1] == '\n') ++at;
    bool folding = at + 1 < value.size() && (value[at + 1] == ' ' || value[at + 1] == '\t');
    if (!folding) line += ' ';
  }
  return line;
}

// Decodes a uuencoded body line by line; a line gives at most 45 bytes.
void AppendUuLines(std::string_view body, std::string& out) {
  unsigned char buffer[45];
  std::ptrdiff_t position = 1;
  while (position >= 0) {
    const std::string_view line = TrimBlanksView(NextLineView(body, position));
    out.append(reinterpret_cast<const char*>(buffer), UuLineToBuffer(line, buffer));
  }
}

}  // namespace

std::string TMailPart::GetFieldValue(std::string_view name) const {
  int index = FindField(HeaderLines, name);
  if (index < 0) return {};
  return Unquoted(TrimBlanks(FieldValueOfLine(HeaderLines[static_cast<std::size_t>(index)])));
}

std::string GetFieldParam(const TMailPart& part, std::string_view name, std::string_view param) {
  int index = FindField(part.HeaderLines, name);
  if (index < 0) return {};
  return Unquoted(
      TrimBlanks(ParamValueOfLine(part.HeaderLines[static_cast<std::size_t>(index)], param)));
}

void TMailPart::SetFieldValue(std::string_view name, std::string_view value) {
  int index = FindField(HeaderLines, name);
  if (value.empty()) {
    if (index >= 0) HeaderLines.erase(HeaderLines.begin() + index);
    return;
  }
  if (index < 0) {
    HeaderLines.push_back(std::string(name) + ": ");
    index = static_cast<int>(HeaderLines.size()) - 1;
  }
  std::string& line = HeaderLines[static_cast<std::size_t>(index)];
  line = ReplaceFieldValueInLine(line, OnOneLine(value));
}

void TMailPart::SetFieldText(std::string_view name, std::string_view value) {
  int index = FindField(HeaderLines, name);
  if (value.empty()) {
    if (index >= 0) HeaderLines.erase(HeaderLines.begin() + index);
    return;
  }
  std::string line = index < 0
                         ? std::string(name)
                         : HeaderLines[static_cast<std::size_t>(index)].substr(0, name.size());
  line += ": ";
  line += TrimBlanksView(OnOneLine(value));
  if (index < 0) {
    HeaderLines.push_back(std::move(line));
  } else {
    HeaderLines[static_cast<std::size_t>(index)] = std::move(line);
  }
}

void TMailPart::SetFieldParam(std::string_view name, std::string_view param,
                              std::string_view value) {
  int index = FindField(HeaderLines, name);
  if (index < 0) {
    HeaderLines.push_back(std::string(name) + ": ");
    index = static_cast<int>(HeaderLines.size()) - 1;
  }
  std::string& line = HeaderLines[static_cast<std::size_t>(index)];
  line = ReplaceParamValueInLine(line, param, OnOneLine(value));
}

std::string ContentTypeOf(const TMailPart& part) {
  return LowerAscii(part.GetFieldValue("Content-Type"));
}

std::string BoundaryOf(const TMailPart& part) {
  return GetFieldParam(part, "Content-Type", "boundary");
}

void TMailPart::Decode() {
  if (IsDecoded) return;
  IsDecoded = true;
  if (Body.empty()) return;
  std::string encoding = GetFieldValue("Content-Transfer-Encoding");
  DecodedBody.clear();
  if (encoding == "quoted-printable" || encoding == "7bit") {
    DecodedBody = QPToText(std::string_view(Body).substr(0, Body.find('\0')));
  } else if (encoding == "base64") {
    AppendBase64Lines(Body, DecodedBody);
  } else if (encoding == "uucode") {
    AppendUuLines(Body, DecodedBody);
    EncodeBase64();
  } else {
    DecodedBody = Body;
  }
}

void TMailPart::Encode(TEncodingType kind) {
  switch (kind) {
    case TEncodingType::etBase64:
      EncodeBase64();
      break;
    case TEncodingType::etQuotedPrintable:
      EncodeQuotedPrintable();
      break;
    // Unencoded text goes on the wire as it stands, where a lone CR or LF would
    // not survive: the body holds the canonical line ends that the wire gets.
    case TEncodingType::etNoEncoding:
      Body = EveryLineBreakAsCrLf(DecodedBody);
      SetFieldValue("Content-Transfer-Encoding", "");
      break;
    case TEncodingType::et7Bit:
      Body = EveryLineBreakAsCrLf(DecodedBody);
      SetFieldValue("Content-Transfer-Encoding", "7bit");
      break;
  }
}

void TMailPart::EncodeQuotedPrintable() {
  Body.clear();
  SetFieldValue("Content-Transfer-Encoding", "quoted-printable");
  if (!DecodedBody.empty()) Body = TextToQP(DecodedBody, false);
}

void TMailPart::EncodeBase64() {
  // Release the old body first so that both encodings never stand in memory
  // beside the content at once.
  std::string().swap(Body);
  Body.reserve(DecodedBody.size() / 57 * 78 + 80);  // 76 characters and CR LF per 57 bytes
  platform::PrepareLargeBuffer(Body);
  StreamToBase64Lines(Body, DecodedBody);
  SetFieldValue("Content-Transfer-Encoding", "base64");
}

std::size_t TMailPart::HeaderTextLength() const {
  std::size_t length = 0;
  for (const std::string& line : HeaderLines) length += line.size() + 2;
  return length;
}

std::string TMailPart::GetHeaderText() const {
  return GetHeaderTextWithout({});
}

std::string TMailPart::GetHeaderTextWithout(std::string_view name) const {
  std::vector<bool> leftOut(HeaderLines.size(), false);
  if (!name.empty()) {
    const std::string prefix = std::string(name) + ':';
    for (int k = 0, at; (at = IndexOfHeaderLine(&HeaderLines, prefix, k)) >= 0; ++k)
      leftOut[static_cast<std::size_t>(at)] = true;
  }
  std::string header;
  header.reserve(HeaderTextLength());
  for (std::size_t i = 0; i < HeaderLines.size(); ++i) {
    if (leftOut[i]) continue;
    header += HeaderLines[i];
    header += "\r\n";
  }
  std::string text = FoldOverlongLines(FoldHeaderText(header));
  text += "\r\n";
  return text;
}

std::string TMailPart::GetSourceText() const {
  const std::string header = GetHeaderText();
  std::string text;
  text.reserve(header.size() + Body.size());
  platform::PrepareLargeBuffer(text);
  text += header;
  text += Body;
  return text;
}

void DetachFromParent(TMailPart* part) {
  if (part == nullptr || part->ParentPart == nullptr) return;
  if (part == part->OwnerMessage) return;
  if (part->ParentPart->SubParts.Remove(part)) part->ParentPart = nullptr;
}

}  // namespace MailVrex
