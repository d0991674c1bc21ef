// libFuzzer target: the data text of any header and body, read in pieces of any size, is the
// message with canonical line ends once the dot-doubling is undone, has no bare CR or LF, is as
// long as announced and ends with the end-of-data line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/codec/LineBreaks.h"
#include "mail/smtp/DataText.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The text a receiver keeps: lines at CR LF, one leading dot taken off each, up to the "." line.
std::string Unstuffed(std::string_view data) {
  std::string text;
  for (std::size_t begin = 0;;) {
    const std::size_t end = data.find("\r\n", begin);
    Check(end != std::string_view::npos);
    std::string_view line = data.substr(begin, end - begin);
    if (line == ".") {
      Check(end + 2 == data.size());  // the end-of-data line comes last, and only there
      return text;
    }
    if (line.starts_with('.')) line.remove_prefix(1);
    text.append(line).append("\r\n");
    begin = end + 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string_view message(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t split = (data[0] | data[1] << 8) % (message.size() + 1);
  MailVrex::DataTextReader reader(message.substr(0, split), message.substr(split));
  std::string out;
  char buffer[64];
  for (std::size_t i = 0;; ++i) {
    // Piece sizes from the message's own bytes, so that the fuzzer steers them too.
    const std::size_t room = 1 + (message.empty() ? 0 : message[i % message.size()] & 63);
    const std::size_t count = reader.Read(buffer, room);
    Check(count <= room);
    if (count == 0) break;
    out.append(buffer, count);
  }
  Check(out.size() == reader.TotalSize());
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\r') Check(i + 1 < out.size() && out[i + 1] == '\n');
    if (out[i] == '\n') Check(i > 0 && out[i - 1] == '\r');
  }
  Check(message.empty() ? out == ".\r\n" : out.ends_with("\r\n.\r\n"));
  std::string canonical = MailVrex::EveryLineBreakAsCrLf(message);
  if (!canonical.empty() && !canonical.ends_with("\r\n")) canonical += "\r\n";
  Check(Unstuffed(out) == canonical);
  return 0;
}
