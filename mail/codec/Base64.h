// Base64 in the three forms the mail library needs: unbroken strings for the
// authentication exchange, one line at a time into a buffer, and whole bodies
// in 76-character lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace MailVrex {

// No line breaks; a final group of one or two bytes is padded with "=".
std::string TextToBase64(std::string_view data);

// For one unbroken string: characters outside the alphabet count as the pad,
// a single character left after the last group of four is ignored.
std::string Base64ToText(std::string_view encoded);

// Decodes the complete groups of four in one line or word; characters after
// the last complete group (such as a trailing CR LF) are ignored. The buffer
// must hold 3 * (encoded.size() / 4) bytes. Returns the bytes written.
std::size_t Base64ToBuffer(std::string_view encoded, unsigned char* buffer);

// Decodes a base64 body line by line, as a MIME part does: lines end at
// CR LF, are trimmed of blanks, and each decodes its own complete groups.
// Appends the bytes to out.
void AppendBase64Lines(std::string_view body, std::string& out);

// Replaces dest by the base64 form of source in lines of 76 characters, each
// followed by CR LF. Returns dest.size().
std::size_t StreamToBase64Lines(std::string& dest, std::string_view source);

}  // namespace MailVrex
