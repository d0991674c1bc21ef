// Canonical CR LF line ends for mail text.
#include "mail/codec/LineBreaks.h"

namespace MailVrex {

std::string EveryLineBreakAsCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  std::size_t at = 0;
  while (at < text.size()) {
    // Runs without a line break go whole; most texts are nothing else.
    std::size_t stop = at;
    while (stop < text.size() && text[stop] != '\r' && text[stop] != '\n') ++stop;
    out.append(text, at, stop - at);
    if (stop == text.size()) break;
    out += "\r\n";
    at = stop + (text[stop] == '\r' && stop + 1 < text.size() && text[stop + 1] == '\n' ? 2 : 1);
  }
  return out;
}

}  // namespace MailVrex
