// The values of the script's VARIANTs as the scripting object stores them: texts and 32-bit
// integers, coerced as OLE Automation does with the user's default locale.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstdint>
#include <string>

namespace SMTPUnit {

// A BSTR as it is; anything else coerced to a text (Empty gives the empty text, an object its
// default value), then put in the ANSI code page. Throws MailError naming the member when the
// value does not convert.
std::string TextOfVariant(const VARIANT& value, const char* member);

// A number rounded to the nearest integer, halves to even, a 64-bit integer cut to its low 32
// bits; anything else coerced to a 32-bit integer. Throws MailError naming the member when the
// value does not convert.
std::int32_t IntegerOfVariant(const VARIANT& value, const char* member);

}  // namespace SMTPUnit
