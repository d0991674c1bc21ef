// MD5 (RFC 1321), HMAC-MD5 (RFC 2104) and the lower-case hexadecimal text of a
// digest, as CRAM-MD5 needs them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace MailVrex {

// Owned by the caller; nothing is allocated.
struct Md5Context {
  std::uint32_t State[4];
  std::uint32_t CountLow;   // bits fed so far, low word
  std::uint32_t CountHigh;  // bits fed so far, high word
  unsigned char Buffer[64];
};

void Md5Start(Md5Context& context);
void Md5Feed(Md5Context& context, std::string_view data);
// The 16-byte digest; the context is zeroed afterwards.
std::string Md5Finish(Md5Context& context);

std::string Md5OfString(std::string_view data);
// The 16-byte HMAC-MD5 of message under key.
std::string HmacMd5OfString(std::string_view message, std::string_view key);
// Two lower-case hexadecimal digits per byte.
std::string HexOfBytes(std::string_view bytes);

}  // namespace MailVrex
