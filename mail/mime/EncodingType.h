// The transfer encodings a part's body can be given.
#pragma once

#include <cstdint>

namespace MailVrex {

// Stored in one byte; the order is part of the component's published interface.
enum class TEncodingType : std::uint8_t { etBase64, etQuotedPrintable, etNoEncoding, et7Bit };

}  // namespace MailVrex
