// libFuzzer target: UnpackHeaderWords on any value; U words may raise the uuencode error.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/codec/HeaderWords.h"
#include "mail/codec/MailError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  try {
    MailVrex::UnpackHeaderWords(input);
  } catch (const MailVrex::MailError&) {
  }
  return 0;
}
