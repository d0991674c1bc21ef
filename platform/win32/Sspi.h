// The Windows headers of SSPI and SChannel in the order they need, with the newer credential
// structure (SCH_CREDENTIALS) declared.
#pragma once

#include <windows.h>
// UNICODE_STRING, which SCH_CREDENTIALS's TLS parameters use.
#include <subauth.h>

#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>
