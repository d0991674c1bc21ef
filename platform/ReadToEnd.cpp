// The fill loop that both systems' whole-file reads share.
#include "platform/ReadToEnd.h"

#include "platform/LargeBuffer.h"

namespace platform {

std::string ReadToEnd(std::size_t expected,
                      const std::function<std::size_t(char* target, std::size_t room)>& readSome) {
  std::string data;
  data.reserve(expected);
  PrepareLargeBuffer(data);
  data.resize(expected);
  std::size_t filled = 0;
  char extra[65536];
  for (;;) {
    const bool intoData = filled < data.size();
    char* target = intoData ? data.data() + filled : extra;
    const std::size_t room = intoData ? data.size() - filled : sizeof extra;
    const std::size_t got = readSome(target, room);
    if (got == 0) break;
    if (intoData) {
      filled += got;
    } else {
      data.append(extra, got);
      filled = data.size();
    }
  }
  data.resize(filled);
  return data;
}

}  // namespace platform
