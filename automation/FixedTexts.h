// The fixed texts of the scripting object: the footers appended to every body sent, the notice
// that CopyRight returns, and the placeholders for a missing subject or body.
#pragma once

#include <string>
#include <string_view>

namespace SMTPUnit {

// "无主题" and "无内容" in code page 936 (GBK), the code page the placeholders are written in.
inline constexpr std::string_view kNoSubjectGbk = "\xCE\xDE\xD6\xF7\xCC\xE2";
inline constexpr std::string_view kNoContentGbk = "\xCE\xDE\xC4\xDA\xC8\xDD";

// The credit line and the web address that both footers carry.
inline constexpr std::string_view kCreditLine = "Sent with Pellam SMTP";
inline constexpr std::string_view kWebAddress = "http://www.pellam.example/";

// CR LF, 32 dashes, the credit line and the web address, each on a line of its own; the
// address's line end comes from the join of the body's lines.
std::string TextFooter();
// The same in a one-cell table, the address as a hyperlink.
std::string HtmlFooter();
std::string NoticeText();

}  // namespace SMTPUnit
