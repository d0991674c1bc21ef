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
  // Each line decodes straight into the room it may need at the end of the
  // result, so no line can overrun it whatever its length.
  std::string decoded;
  decoded.reserve(body.size() / 4 * 3);
  std::ptrdiff_t position = 1;
  while (position > 0) {
    std::string_view line = MailVrex::TrimBlanksView(MailVrex::NextLineView(body, position));
    std::size_t size = decoded.size();
    decoded.resize(size + line.size() / 4 * 3);
    std::size_t count =
        MailVrex::Base64ToBuffer(line, reinterpret_cast<unsigned char*>(decoded.data() + size));
    decoded.resize(size + count);
  }
  return decoded;
}

}  // namespace codec_test
