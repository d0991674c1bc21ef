// The line loop through which a MIME part decodes a base64 body, shared by the
// codec tests, fuzzers and benchmarks: lines cut at CR LF, trimmed of spaces,
// each decoded with Base64ToBuffer and appended.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/codec/Base64.h"
#include "mail/codec/HeaderLines.h"
#include "mail/codec/TextUtil.h"

namespace codec_test {

inline std::string DecodeBase64Lines(std::string_view body) {
  std::string decoded;
  decoded.reserve(body.size() / 4 * 3);
  // Grows for lines longer than usual, so no line can overrun it.
  std::vector<unsigned char> buffer(132);
  std::ptrdiff_t position = 1;
  while (position > 0) {
    std::string_view line = MailVrex::TrimBlanksView(MailVrex::NextLineView(body, position));
    if (buffer.size() < line.size() / 4 * 3) buffer.resize(line.size() / 4 * 3);
    std::size_t count = MailVrex::Base64ToBuffer(line, buffer.data());
    decoded.append(reinterpret_cast<const char*>(buffer.data()), count);
  }
  return decoded;
}

}  // namespace codec_test
