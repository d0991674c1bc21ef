// The MIME names of the ANSI code pages that Windows systems use.
#include "automation/CodePageCharset.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace SMTPUnit {
namespace {

struct CodePageName {
  unsigned codePage;
  std::string_view charset;
};

// clang-format off
constexpr CodePageName kNames[] = {
  {874,   "windows-874"},
  {932,   "shift_jis"},
  {936,   "gb2312"},
  {949,   "ks_c_5601-1987"},
  {950,   "big5"},
  {20127, "us-ascii"},
  {20866, "koi8-r"},
  {21866, "koi8-u"},
  {28591, "iso-8859-1"},
  {28592, "iso-8859-2"},
  {28595, "iso-8859-5"},
  {28597, "iso-8859-7"},
  {51932, "euc-jp"},
  {51949, "euc-kr"},
  {54936, "gb18030"},
  {65001, "utf-8"},
};
// clang-format on

}  // namespace

std::string MimeCharsetOfCodePage(unsigned codePage) {
  const auto found =
      std::find_if(std::begin(kNames), std::end(kNames),
                   [codePage](const CodePageName& n) { return n.codePage == codePage; });
  if (found != std::end(kNames)) return std::string(found->charset);
  return "windows-" + std::to_string(codePage);
}

}  // namespace SMTPUnit
