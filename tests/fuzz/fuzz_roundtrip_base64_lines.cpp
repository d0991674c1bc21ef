// libFuzzer target: StreamToBase64Lines then the body line decoder gives the data back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/Base64.h"
#include "tests/codec/Base64LineLoop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string body;
  MailVrex::StreamToBase64Lines(body, input);
  if (codec_test::DecodeBase64Lines(body) != input) __builtin_trap();
  return 0;
}
