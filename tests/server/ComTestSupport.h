// What the COM tests share: an apartment per test, a small owning pointer, VARIANTs of every
// kind a script passes, calls through IDispatch::Invoke, and the error object a call left.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <utility>

#include "server/PellamIdl.h"

namespace pellam_test {

// A single-threaded apartment for the lifetime of the value, as a script host's thread has.
class Apartment {
 public:
  Apartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

 private:
  HRESULT result_;
};

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* taken) : p_(taken) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    Reset();
    p_ = std::exchange(other.p_, nullptr);
    return *this;
  }
  ~ComPtr() { Reset(); }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  explicit operator bool() const { return p_ != nullptr; }
  template <class U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> other;
    if (p_ != nullptr) p_->QueryInterface(iid, other.OutVoid());
    return other;
  }

 private:
  T* p_ = nullptr;
};

// An owned VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant& other) : Variant() { VariantCopy(&v_, const_cast<VARIANT*>(&other.v_)); }
  Variant& operator=(const Variant& other) {
    if (this != &other) VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
    return *this;
  }

  // A value of the type, its field set by fill.
  template <class Fill>
  static Variant Of(VARTYPE type, Fill fill) {
    Variant v;
    fill(v.v_);
    V_VT(&v.v_) = type;
    return v;
  }
  static Variant Text(const std::wstring& text);
  static Variant I2(SHORT x) {
    return Of(VT_I2, [=](VARIANT& v) { V_I2(&v) = x; });
  }
  static Variant I4(LONG x) {
    return Of(VT_I4, [=](VARIANT& v) { V_I4(&v) = x; });
  }
  static Variant I8(LONGLONG x) {
    return Of(VT_I8, [=](VARIANT& v) { V_I8(&v) = x; });
  }
  static Variant R8(double x) {
    return Of(VT_R8, [=](VARIANT& v) { V_R8(&v) = x; });
  }
  static Variant Date(double x) {
    return Of(VT_DATE, [=](VARIANT& v) { V_DATE(&v) = x; });
  }
  static Variant Bool(bool x) {
    return Of(VT_BOOL, [=](VARIANT& v) { V_BOOL(&v) = x ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  static Variant Currency(LONGLONG tenThousandths) {
    return Of(VT_CY, [=](VARIANT& v) { V_CY(&v).int64 = tenThousandths; });
  }
  static Variant Decimal(LONG units, BYTE scale);
  static Variant Null() {
    return Of(VT_NULL, [](VARIANT&) {});
  }
  static Variant Error(SCODE x) {
    return Of(VT_ERROR, [=](VARIANT& v) { V_ERROR(&v) = x; });
  }
  static Variant Object(IDispatch* object);  // takes a reference of its own; null is Nothing
  static Variant ArrayOfTwo();
  // VT_BYREF|VT_VARIANT pointing at target, which must outlive this value.
  static Variant RefTo(Variant& target) {
    return Of(VT_BYREF | VT_VARIANT, [&](VARIANT& v) { V_VARIANTREF(&v) = &target.v_; });
  }
  // VT_BYREF|VT_BSTR pointing at target's BSTR.
  static Variant BstrRefTo(Variant& target) {
    return Of(VT_BYREF | VT_BSTR, [&](VARIANT& v) { V_BSTRREF(&v) = &V_BSTR(&target.v_); });
  }

  VARIANT& operator*() { return v_; }
  const VARIANT& operator*() const { return v_; }
  VARIANT* Ptr() { return &v_; }

 private:
  VARIANT v_;
};

// The text of a VT_BSTR, NUL included; anything else gives "<not a text>".
std::wstring TextOf(const VARIANT& value);

// A new Pellam.SMTP object by its CLSID, as a script host makes it, and one after OnStartPage.
ComPtr<ISMTP> CreateSmtp();
ComPtr<ISMTP> StartedSmtp();
std::wstring StatusOf(ISMTP& smtp);
// SendMail through the vtable; VT_BOOL expected.
bool SendMailOf(ISMTP& smtp);

// The error object that the last failed call left on this thread.
struct ErrorSeen {
  std::wstring description;
  std::wstring source;
  GUID guid{};
};
ErrorSeen TakeErrorInfo();

// IDispatch::Invoke by name, with one argument for a put, as script engines call.
HRESULT InvokePut(IDispatch& object, const wchar_t* name, const VARIANT& value,
                  WORD flags = DISPATCH_PROPERTYPUT, EXCEPINFO* exception = nullptr);
HRESULT InvokeGet(IDispatch& object, const wchar_t* name, Variant& result,
                  WORD flags = DISPATCH_PROPERTYGET, EXCEPINFO* exception = nullptr);
void ClearExcepInfo(EXCEPINFO& exception);

// An object with a default value (DISPID_VALUE) as a page's form field has, or without one.
ComPtr<IDispatch> NewValueObject(const std::wstring& text, bool hasDefaultValue = true);

// An export of a loaded module as the function it is, or null.
template <class Function>
Function ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The Unix path in Windows terms (drive Z:), and the DLL under test.
std::wstring WindowsPathOf(const std::string& unixPath);
std::wstring DllPath();

}  // namespace pellam_test
