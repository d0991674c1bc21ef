// libFuzzer target: UuLineToBuffer on any line; format errors are expected.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/MailError.h"
#include "mail/codec/Uucode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  unsigned char buffer[45];
  try {
    if (MailVrex::UuLineToBuffer(input, buffer) > sizeof buffer) __builtin_trap();
  } catch (const MailVrex::MailError&) {
  }
  return 0;
}
