// The MIME charset that names texts of a Windows ANSI code page.
#pragma once

#include <string>

namespace SMTPUnit {

// 936 gives "gb2312", the component's default; the others their registered MIME names
// ("windows-1252", "utf-8", "big5", "shift_jis", ...). A code page without a known name gives
// "windows-" and its number, as the Windows code pages 1250 to 1258 are named.
std::string MimeCharsetOfCodePage(unsigned codePage);

}  // namespace SMTPUnit
