// Texts across the COM boundary: the wide texts of BSTRs and the byte texts of the system's ANSI
// code page that everything behind the boundary uses, NUL included.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "automation/TSMTPCore.h"

namespace SMTPUnit {

// A character the code page lacks becomes its default character ("?"), never a look-alike that
// might be a separator or a quote.
std::string AnsiOfWide(const wchar_t* text, std::size_t length);
std::string AnsiOfBstr(BSTR text);
std::wstring WideOfAnsi(std::string_view text);
// A new BSTR; throws std::bad_alloc when there is no memory for it.
BSTR BstrOfAnsi(std::string_view text);

// The charset and the placeholders for the process's ANSI code page.
TCodePageTexts SystemCodePageTexts();

}  // namespace SMTPUnit
