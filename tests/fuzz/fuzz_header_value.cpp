// libFuzzer target: any value through SetSubject, or packed through SetFieldValue, then the field
// as it goes on the wire: one field and its continuations, no line over 998 octets, and the
// unfolded value decoded back to the same bytes. A value set unpacked keeps to its field too.
// The first byte of the input picks the way in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/mime/HeaderText.h"
#include "mail/mime/TMailMessageVrex.h"

namespace {

// The header text must be the field alone: every other line a continuation, then the empty line.
std::string UnfoldedField(const std::string& header, std::string_view name) {
  if (header.rfind(std::string(name) + ": ", 0) != 0) __builtin_trap();
  if (header.size() < 4 || header.compare(header.size() - 4, 4, "\r\n\r\n") != 0) __builtin_trap();
  std::string unfolded;
  std::size_t begin = 0;
  while (begin + 2 < header.size()) {
    std::size_t end = header.find("\r\n", begin);
    if (end - begin > MailVrex::kMaxLineLength) __builtin_trap();
    if (begin > 0 && header[begin] != ' ' && header[begin] != '\t') __builtin_trap();
    unfolded.append(header, begin, end - begin);
    begin = end + 2;
  }
  return unfolded.substr(name.size() + 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int way = data[0] % 3;
  std::string_view value(reinterpret_cast<const char*>(data + 1), size - 1);
  MailVrex::TMailMessageVrex message;
  if (way == 0) {
    message.SetSubject(value);
    if (MailVrex::UnpackHeaderText(UnfoldedField(message.GetHeaderText(), "Subject")) != value)
      __builtin_trap();
  } else if (way == 1) {
    message.SetFieldValue("Comments", MailVrex::PackHeaderText(value, message.Charset));
    if (MailVrex::UnpackHeaderText(UnfoldedField(message.GetHeaderText(), "Comments")) != value)
      __builtin_trap();
  } else {
    message.SetFieldValue("Comments", value);
    if (!message.HeaderLines.empty()) {
      const std::string header = message.GetHeaderText();
      for (std::size_t at = header.find("\r\n"); at + 4 < header.size();
           at = header.find("\r\n", at + 2)) {
        if (header[at + 2] != ' ' && header[at + 2] != '\t') __builtin_trap();
      }
    }
  }
  return 0;
}
