// libFuzzer target: IsNumericHost on any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/TextUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  MailVrex::IsNumericHost(input);
  return 0;
}
