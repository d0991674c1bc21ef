// The line loop through which a MIME part decodes a base64 body, for the codec
// tests, fuzzers and benchmarks, and a plain reference loop to check it
// against: lines cut at CR LF, trimmed of spaces, each decoded with
// Base64ToBuffer and appended.
#pragma once

#include <string>
#include <string_view>

#include "mail/codec/Base64.h"
#include "mail/codec/HeaderLines.h"
#include "mail/codec/TextUtil.h"

namespace codec_test {

// A result passed in again keeps its memory.
inline void DecodeBase64Lines(std::string_view body, std::string& decoded) {
  decoded.clear();
  MailVrex::AppendBase64Lines(body, decoded);
}

inline std::string DecodeBase64Lines(std::string_view body) {
  std::string decoded;
  DecodeBase64Lines(body, decoded);
  return decoded;
}

// Every line taken the general way, with no guess at its length.
inline std::string DecodeBase64LinesOneByOne(std::string_view body) {
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
