// libFuzzer target: TextToQP in body mode then QPToText gives the data back, and the encoded
// text keeps RFC 2045's rules: printable bytes and TAB only, CR only in CR LF, no blank before a
// line break or at the end, no line over 76 characters.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/codec/QuotedPrintable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string encoded = MailVrex::TextToQP(input, false);
  if (MailVrex::QPToText(encoded) != input) __builtin_trap();
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i <= encoded.size(); ++i) {
    const bool end = i == encoded.size();
    if (!end && encoded[i] != '\r' && encoded[i] != '\n') {
      const auto b = static_cast<unsigned char>(encoded[i]);
      if ((b < 0x20 && b != '\t') || b >= 0x7F) __builtin_trap();
      continue;
    }
    if (!end && (encoded[i] != '\r' || i + 1 == encoded.size() || encoded[i + 1] != '\n'))
      __builtin_trap();
    if (i - lineStart > 76) __builtin_trap();
    if (i > lineStart && (encoded[i - 1] == ' ' || encoded[i - 1] == '\t')) __builtin_trap();
    lineStart = i + 2;
    ++i;
  }
  return 0;
}
