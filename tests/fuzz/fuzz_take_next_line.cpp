// libFuzzer target: TakeNextLine and NextLineView: the lines put back together give the text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <string>

#include "mail/codec/HeaderLines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string joined;
  std::ptrdiff_t position = 1, viewPosition = 1;
  while (position > 0) {
    std::string line = MailVrex::TakeNextLine(input, position);
    if (MailVrex::NextLineView(input, viewPosition) != line || position != viewPosition) {
      __builtin_trap();
    }
    if (line.empty() && position > 0) __builtin_trap();  // no progress
    joined += line;
  }
  if (joined != input) __builtin_trap();
  return 0;
}
