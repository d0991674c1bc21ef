// libFuzzer target: the body line decoder, with its guess at the line length,
// gives what the plain line-by-line loop gives, for any text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/codec/Base64.h"
#include "tests/codec/Base64LineLoop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (codec_test::DecodeBase64Lines(input) != codec_test::DecodeBase64LinesOneByOne(input))
    __builtin_trap();
  // Appending keeps what the result held.
  std::string out = "kept";
  MailVrex::AppendBase64Lines(input, out);
  if (out.compare(0, 4, "kept") != 0) __builtin_trap();
  return 0;
}
