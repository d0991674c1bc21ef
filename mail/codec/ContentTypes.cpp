// Content types by file name and extensions by content type, with the
// defaults the mail library relies on when the system knows nothing.
#include "mail/codec/ContentTypes.h"

#include <stdexcept>

#include "mail/codec/MailError.h"
#include "platform/ContentTypeRegistry.h"

namespace MailVrex {
namespace {

constexpr char kDefaultContentType[] = "application/octet-stream";

// From the last "." after the last backslash and the last colon, dot included.
std::string_view ExtensionOfFile(std::string_view fileName) {
  std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::size_t separator = fileName.find_last_of("\\:");
  if (separator != std::string_view::npos && separator > dot) return {};
  return fileName.substr(dot);
}

}  // namespace

std::string ContentTypeOfFile(std::string_view fileName) {
  std::string_view extension = ExtensionOfFile(fileName);
  if (extension.empty()) return kDefaultContentType;
  std::string type;
  try {
    type = platform::ContentTypeOfExtension(extension);
  } catch (const std::runtime_error& error) {
    throw MailError(error.what());
  }
  return type.empty() ? kDefaultContentType : type;
}

std::string ExtensionOfContentType(std::string_view contentType) {
  try {
    return platform::ExtensionOfContentType(contentType);
  } catch (const std::runtime_error& error) {
    throw MailError(error.what());
  }
}

}  // namespace MailVrex
