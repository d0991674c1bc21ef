// Coercion of the script's VARIANTs through VariantChangeTypeEx, the path every Automation
// client's values take.
#include "automation/com/VariantValue.h"

#include <cstdio>
#include <string_view>

#include "automation/com/AnsiText.h"
#include "mail/codec/MailError.h"

namespace SMTPUnit {
namespace {

// Clears its VARIANT however the conversion ends.
class OwnedVariant {
 public:
  OwnedVariant() { VariantInit(&value_); }
  ~OwnedVariant() { VariantClear(&value_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  VARIANT* Get() { return &value_; }

 private:
  VARIANT value_;
};

std::string KindName(VARTYPE type) {
  if ((type & VT_ARRAY) != 0) return "an array";
  switch (type) {
    case VT_NULL:
      return "Null";
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return "an object";
    case VT_ERROR:
      return "an error value";
    default:
      return "a value of variant type " + std::to_string(type);
  }
}

[[noreturn]] void FailConversion(const char* member, VARTYPE type, const char* target,
                                 HRESULT code) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(code));
  throw MailVrex::MailError(std::string(member) + ": cannot convert " + KindName(type) + " to " +
                            target + " (error " + number + ")");
}

// The value with references followed: VBScript passes its variables by reference.
void Dereference(const VARIANT& value, OwnedVariant& target, const char* member) {
  const HRESULT code = VariantCopyInd(target.Get(), const_cast<VARIANT*>(&value));
  if (FAILED(code)) FailConversion(member, V_VT(&value), "a value", code);
}

void Coerce(OwnedVariant& value, VARTYPE type, const char* member, const char* target) {
  const VARTYPE from = V_VT(value.Get());
  const HRESULT code = VariantChangeTypeEx(value.Get(), value.Get(), GetUserDefaultLCID(), 0, type);
  if (FAILED(code)) FailConversion(member, from, target, code);
}

}  // namespace

std::string TextOfVariant(const VARIANT& value, const char* member) {
  OwnedVariant text;
  Dereference(value, text, member);
  if (V_VT(text.Get()) != VT_BSTR) Coerce(text, VT_BSTR, member, "a text");
  return AnsiOfBstr(V_BSTR(text.Get()));
}

std::int32_t IntegerOfVariant(const VARIANT& value, const char* member) {
  OwnedVariant number;
  Dereference(value, number, member);
  switch (V_VT(number.Get())) {
    case VT_I8:
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(V_I8(number.Get())));
    case VT_UI8:
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(V_UI8(number.Get())));
    default:
      Coerce(number, VT_I4, member, "an integer");
      return V_I4(number.Get());
  }
}

}  // namespace SMTPUnit
