// libFuzzer target: FoldHeaderText: every output line ends with CR LF and nothing is lost.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/codec/HeaderLines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string folded = MailVrex::FoldHeaderText(input);
  if (!folded.empty() && folded.compare(folded.size() - 2, 2, "\r\n") != 0) __builtin_trap();
  // Folding only turns a space into CR LF TAB or adds CR LF TAB after a
  // separator, so the non-blank characters stay in order.
  auto nonBlank = [](std::string_view s) {
    std::string kept;
    for (char ch : s) {
      if (ch != ' ' && ch != '\r' && ch != '\n' && ch != '\t') kept += ch;
    }
    return kept;
  };
  if (nonBlank(folded) != nonBlank(input)) __builtin_trap();
  return 0;
}
