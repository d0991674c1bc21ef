// Lead bytes of the process's ANSI code page, as Windows reports them.
#include "platform/CodePage.h"

#include <windows.h>

namespace platform {

bool IsLeadByte(unsigned char b) {
  return IsDBCSLeadByte(b) != FALSE;
}

}  // namespace platform
