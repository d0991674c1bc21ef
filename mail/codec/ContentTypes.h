// Content types by file extension and file extensions by content type, as the
// system's registry of types knows them.
#pragma once

#include <string>
#include <string_view>

namespace MailVrex {

// Never empty: "application/octet-stream" when the type is unknown.
std::string ContentTypeOfFile(std::string_view fileName);

// A dot and the extension, or empty when the type is unknown.
std::string ExtensionOfContentType(std::string_view contentType);

}  // namespace MailVrex
