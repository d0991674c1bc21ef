// The check of a server's certificate once SChannel's handshake is complete: its chain against
// the system's trusted roots, and the host name or IP address it must name.
#pragma once

#include "platform/TlsEngine.h"
#include "platform/win32/Sspi.h"

namespace platform::win32 {

// Throws TlsFailure saying what failed.
void CheckServerCertificate(CtxtHandle& context, const TlsServerName& name);

}  // namespace platform::win32
