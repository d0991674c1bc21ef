// libFuzzer target: TextToBase64 then Base64ToText gives the data back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (MailVrex::Base64ToText(MailVrex::TextToBase64(input)) != input) __builtin_trap();
  return 0;
}
