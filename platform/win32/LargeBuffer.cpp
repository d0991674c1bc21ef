// Windows commits a heap block's pages cheaply already, and large pages need
// a privilege that a scripting host does not hold: nothing to do.
#include "platform/LargeBuffer.h"

namespace platform {

void PrepareLargeBuffer(std::string&) {}

}  // namespace platform
