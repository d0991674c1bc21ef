// libFuzzer target: QPToText on any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/QuotedPrintable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  MailVrex::QPToText(input);
  return 0;
}
