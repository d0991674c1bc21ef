// Lead bytes of a double-byte code page where no ANSI code page can be asked.
#include "platform/CodePage.h"

namespace platform {

bool IsLeadByte(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

}  // namespace platform
