// The fixed texts of the scripting object, built from their pieces.
#include "automation/FixedTexts.h"

namespace SMTPUnit {
namespace {

const std::string kRule(32, '-');

}  // namespace

std::string TextFooter() {
  std::string footer = "\r\n" + kRule + "\r\n";
  footer.append(kCreditLine).append("\r\n").append(kWebAddress);
  return footer;
}

std::string HtmlFooter() {
  std::string footer = "\r\n<table width=\"100%\"><tr><td>\r\n" + kRule + "<br>\r\n";
  footer.append(kCreditLine).append("<br>\r\n");
  footer.append("<a href=\"").append(kWebAddress).append("\">").append(kWebAddress).append("</a>");
  footer.append("\r\n</td></tr></table>");
  return footer;
}

std::string NoticeText() {
  std::string notice =
      "Pellam SMTP 1.0, mail sending for page scripts. Copyright (c) the Pellam "
      "SMTP developers. ";
  notice.append(kWebAddress);
  return notice;
}

}  // namespace SMTPUnit
