// libFuzzer target: Base64ToBuffer into a buffer of exactly the documented size.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <vector>

#include "mail/codec/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // Exactly 3 * (size / 4) bytes, so that AddressSanitizer sees any overrun.
  std::vector<unsigned char> buffer(size / 4 * 3);
  if (MailVrex::Base64ToBuffer(input, buffer.data()) > buffer.size()) __builtin_trap();
  return 0;
}
