// libFuzzer target: ReplaceParamValueInLine; the input holds name, value and line, separated by LF.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/HeaderLines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t first = input.find('\n');
  if (first == std::string_view::npos) return 0;
  std::size_t second = input.find('\n', first + 1);
  if (second == std::string_view::npos) return 0;
  MailVrex::ReplaceParamValueInLine(input.substr(second + 1), input.substr(0, first),
                                    input.substr(first + 1, second - first - 1));
  return 0;
}
