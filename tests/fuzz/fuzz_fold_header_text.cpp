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
  // Folding only adds CR LF before a blank, or CR LF and a blank after a
  // separator, so the non-blank characters stay in order.
  auto nonBlank = [](std::string_view s) {
    std::string kept;
    for (char ch : s) {
      if (ch != ' ' && ch != '\r' && ch != '\n' && ch != '\t') kept += ch;
    }
    return kept;
  };
  if (nonBlank(folded) != nonBlank(input)) __builtin_trap();
  // Without separators every fold is a CR LF before a blank: unfolding both
  // gives the same text.
  if (input.find_first_of(",;") == std::string_view::npos) {
    auto unfold = [](std::string text) {
      for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) {
        if (at + 2 < text.size() && (text[at + 2] == ' ' || text[at + 2] == '\t')) {
          text.erase(at, 2);
        } else {
          at += 2;
        }
      }
      return text;
    };
    std::string block;
    for (std::size_t i = 0; i < input.size(); ++i) {
      if (input[i] == '\r' || input[i] == '\n') {
        block += "\r\n";
        if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') ++i;
      } else {
        block += input[i];
      }
    }
    while (block.size() >= 2 && block.compare(block.size() - 2, 2, "\r\n") == 0)
      block.resize(block.size() - 2);
    if (!block.empty()) block += "\r\n";
    if (unfold(folded) != unfold(block)) __builtin_trap();
  }
  return 0;
}
