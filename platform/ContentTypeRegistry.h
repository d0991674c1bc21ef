// The system's mapping between file extensions and content types: the
// registry on Windows, the mime.types table elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// ext includes its dot (".txt"); empty when the extension is unknown.
std::string ContentTypeOfExtension(std::string_view ext);

// A dot and the extension (".txt"); empty when the type is unknown.
std::string ExtensionOfContentType(std::string_view type);

}  // namespace platform
