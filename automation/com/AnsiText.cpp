// Conversions between BSTRs and ANSI byte texts, and between code pages for the placeholders.
#include "automation/com/AnsiText.h"

#include <limits>
#include <new>

#include "automation/CodePageCharset.h"
#include "automation/FixedTexts.h"

namespace SMTPUnit {
namespace {

constexpr UINT kGbkCodePage = 936;

int CheckedLength(std::size_t length) {
  if (length > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4))
    throw std::bad_alloc();
  return static_cast<int>(length);
}

std::string BytesOfWide(UINT codePage, const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  // The flag is refused for UTF-8, which has no best fit to avoid.
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int count = CheckedLength(length);
  const int size = WideCharToMultiByte(codePage, flags, text, count, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, text, count, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::wstring WideOfBytes(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int count = CheckedLength(text.size());
  const int size = MultiByteToWideChar(codePage, 0, text.data(), count, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), count, wide.data(), size);
  return wide;
}

// A placeholder written in GBK, in the system's code page; unchanged where 936 is unknown.
std::string FromGbk(std::string_view gbk) {
  const std::wstring wide = WideOfBytes(kGbkCodePage, gbk);
  if (wide.empty()) return std::string(gbk);
  return AnsiOfWide(wide.data(), wide.size());
}

}  // namespace

std::string AnsiOfWide(const wchar_t* text, std::size_t length) {
  return BytesOfWide(GetACP(), text, length);
}

std::string AnsiOfBstr(BSTR text) {
  return text == nullptr ? std::string() : AnsiOfWide(text, SysStringLen(text));
}

std::wstring WideOfAnsi(std::string_view text) {
  return WideOfBytes(CP_ACP, text);
}

BSTR BstrOfAnsi(std::string_view text) {
  const std::wstring wide = WideOfAnsi(text);
  BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (result == nullptr) throw std::bad_alloc();
  return result;
}

TCodePageTexts SystemCodePageTexts() {
  const UINT codePage = GetACP();
  if (codePage == kGbkCodePage) return GbkTexts();
  return {MimeCharsetOfCodePage(codePage), FromGbk(kNoSubjectGbk), FromGbk(kNoContentGbk)};
}

}  // namespace SMTPUnit
