// Writing produced messages and their expected trees for the Python checker.
#include "MessageCorpus.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace MimeTest {
namespace {

// Byte texts travel as hexadecimal, so any byte survives JSON unchanged.
std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

// Built by appending: GCC 12 warns wrongly (-Wrestrict) on chains of
// string concatenation.
std::string Str(std::string_view text) {
  std::string quoted;
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

std::string PartJson(const ExpectedPart& part) {
  std::string json;
  json += "{\"type\":";
  json += Str(part.Type);
  json += ",\"charset\":";
  json += Str(part.Charset);
  json += ",\"content\":";
  json += Str(Hex(part.Content));
  json += ",\"filename\":";
  json += Str(Hex(part.FileName));
  json += ",\"disposition\":";
  json += Str(part.Disposition);
  json += ",\"content_id\":";
  json += Str(Hex(part.ContentId));
  json += ",\"children\":[";
  for (std::size_t i = 0; i < part.Children.size(); ++i) {
    if (i > 0) json += ',';
    json += PartJson(part.Children[i]);
  }
  json += "]}";
  return json;
}

std::string AddressesJson(const std::vector<ExpectedAddress>& addresses) {
  std::string json = "[";
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    if (i > 0) json += ',';
    json += '[';
    json += Str(Hex(addresses[i].Name));
    json += ',';
    json += Str(Hex(addresses[i].Address));
    json += ']';
  }
  json += ']';
  return json;
}

void WriteFile(const std::string& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

ExpectedPart Text(std::string_view type, std::string_view content, std::string_view charset) {
  ExpectedPart part;
  part.Type = type;
  part.Content = content;
  part.Charset = charset;
  part.Disposition = "inline";
  return part;
}

ExpectedPart File(std::string_view type, std::string_view content, std::string_view fileName,
                  std::string_view disposition) {
  ExpectedPart part;
  part.Type = type;
  part.Content = content;
  part.FileName = fileName;
  part.Disposition = disposition;
  return part;
}

ExpectedPart Multipart(std::string_view type, std::vector<ExpectedPart> children) {
  ExpectedPart part;
  part.Type = type;
  part.Children = std::move(children);
  return part;
}

void Record(std::string_view name, const std::string& messageText,
            const ExpectedMessage& expected) {
  const char* folder = std::getenv("PELLAM_MIME_CORPUS");
  if (folder == nullptr || *folder == '\0') return;
  std::string base = std::string(folder) + "/" + std::string(name);
  WriteFile(base + ".eml", messageText);
  std::string json;
  json += "{\"charset\":";
  json += Str(expected.Charset);
  json += ",\"subject\":";
  json += Str(Hex(expected.Subject));
  json += ",\"from\":";
  json += AddressesJson(expected.From);
  json += ",\"to\":";
  json += AddressesJson(expected.To);
  json += ",\"tree\":";
  json += PartJson(expected.Tree);
  json += "}\n";
  WriteFile(base + ".json", json);
}

}  // namespace MimeTest
