// libFuzzer target: ReplaceFieldValueInLine; the first line of the input is the new value.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/HeaderLines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t cut = input.find('\n');
  if (cut == std::string_view::npos) return 0;
  MailVrex::ReplaceFieldValueInLine(input.substr(cut + 1), input.substr(0, cut));
  return 0;
}
