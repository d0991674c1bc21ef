// The line loop through which a MIME part decodes a base64 body, shared by the
// codec tests, fuzzers and benchmarks: lines cut at CR LF, trimmed of spaces,
// each decoded with Base64ToBuffer and appended.
#pragma once

#include <string>
#include <string_view>

#include "mail/codec/Base64.h"
#include "mail/codec/HeaderLines.h"
#include "mail/codec/TextUtil.h"

namespace codec_test {

inline std::string DecodeBase64Lines(std::string_view body) {
  // Every line decodes straight into the result, sized once for the most the
  // whole body can give (no line gives more than three bytes per four
  // characters), and trimmed at the end.
  std::string decoded(body.size() / 4 * 3, '\0');
  auto* out = reinterpret_cast<unsigned char*>(decoded.data());
  std::size_t size = 0;
  std::ptrdiff_t position = 1;
  while (position > 0) {
    std::string_view line = MailVrex::TrimBlanksView(MailVrex::NextLineView(body, position));
    size += MailVrex::Base64ToBuffer(line, out + size);
  }
  decoded.resize(size);
  return decoded;
}

}  // namespace codec_test
