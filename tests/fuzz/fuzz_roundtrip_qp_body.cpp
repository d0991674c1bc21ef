// libFuzzer target: TextToQP in body mode then QPToText gives the data back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/QuotedPrintable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (MailVrex::QPToText(MailVrex::TextToQP(input, false)) != input) __builtin_trap();
  return 0;
}
