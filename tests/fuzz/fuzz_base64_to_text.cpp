// libFuzzer target: Base64ToText on any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  MailVrex::Base64ToText(input);
  return 0;
}
