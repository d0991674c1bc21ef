// The shared helpers of the COM tests.
#include "tests/server/ComTestSupport.h"

#include <atomic>
#include <stdexcept>

namespace pellam_test {

Variant Variant::Text(const std::wstring& text) {
  return Of(VT_BSTR, [&](VARIANT& v) {
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  });
}

Variant Variant::Decimal(LONG units, BYTE scale) {
  // The DECIMAL shares its first field with the type, which Of sets afterwards.
  return Of(VT_DECIMAL, [&](VARIANT& v) {
    DECIMAL& d = V_DECIMAL(&v);
    d.scale = scale;
    d.sign = units < 0 ? DECIMAL_NEG : 0;
    d.Hi32 = 0;
    d.Lo64 = static_cast<ULONGLONG>(units < 0 ? -static_cast<LONGLONG>(units) : units);
  });
}

Variant Variant::Object(IDispatch* object) {
  if (object != nullptr) object->AddRef();
  return Of(VT_DISPATCH, [&](VARIANT& v) { V_DISPATCH(&v) = object; });
}

Variant Variant::ArrayOfTwo() {
  return Of(VT_ARRAY | VT_VARIANT,
            [](VARIANT& v) { V_ARRAY(&v) = SafeArrayCreateVector(VT_VARIANT, 0, 2); });
}

std::wstring TextOf(const VARIANT& value) {
  if (V_VT(&value) != VT_BSTR) return L"<not a text>";
  return std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
}

ComPtr<ISMTP> CreateSmtp() {
  ComPtr<ISMTP> smtp;
  const HRESULT result =
      CoCreateInstance(CLSID_SMTP, nullptr, CLSCTX_INPROC_SERVER, IID_ISMTP, smtp.OutVoid());
  if (FAILED(result)) throw std::runtime_error("CoCreateInstance of Pellam.SMTP failed");
  return smtp;
}

ComPtr<ISMTP> StartedSmtp() {
  ComPtr<ISMTP> smtp = CreateSmtp();
  if (FAILED(smtp->OnStartPage(nullptr))) throw std::runtime_error("OnStartPage failed");
  return smtp;
}

std::wstring StatusOf(ISMTP& smtp) {
  Variant status;
  if (FAILED(smtp.get_Status(status.Ptr()))) return L"<Status failed>";
  return TextOf(*status);
}

bool SendMailOf(ISMTP& smtp) {
  Variant result;
  if (FAILED(smtp.SendMail(result.Ptr()))) throw std::runtime_error("SendMail failed");
  if (V_VT(result.Ptr()) != VT_BOOL) throw std::runtime_error("SendMail gave no VT_BOOL");
  return V_BOOL(result.Ptr()) == VARIANT_TRUE;
}

ErrorSeen TakeErrorInfo() {
  ErrorSeen seen;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return seen;
  BSTR text = nullptr;
  if (SUCCEEDED(info->GetDescription(&text)) && text)
    seen.description.assign(text, SysStringLen(text));
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(info->GetSource(&text)) && text) seen.source.assign(text, SysStringLen(text));
  SysFreeString(text);
  info->GetGUID(&seen.guid);
  info->Release();
  return seen;
}

namespace {

DISPID IdOf(IDispatch& object, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    throw std::runtime_error("GetIDsOfNames failed");
  }
  return id;
}

}  // namespace

HRESULT InvokePut(IDispatch& object, const wchar_t* name, const VARIANT& value, WORD flags,
                  EXCEPINFO* exception) {
  VARIANT argument = value;  // shallow: Invoke does not own its arguments
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&argument, &named, 1, 1};
  UINT argumentError = 0;
  return object.Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr,
                       exception, &argumentError);
}

HRESULT InvokeGet(IDispatch& object, const wchar_t* name, Variant& result, WORD flags,
                  EXCEPINFO* exception) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  UINT argumentError = 0;
  return object.Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &none,
                       result.Ptr(), exception, &argumentError);
}

void ClearExcepInfo(EXCEPINFO& exception) {
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  exception = EXCEPINFO{};
}

namespace {

// A dispatch object whose only member is its default value, or one without any member.
class ValueObject final : public IDispatch {
 public:
  ValueObject(std::wstring text, bool hasDefault)
      : text_(std::move(text)), hasDefault_(hasDefault) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!hasDefault_ || id != DISPID_VALUE || (flags & DISPATCH_PROPERTYGET) == 0) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (result == nullptr) return E_INVALIDARG;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocStringLen(text_.data(), static_cast<UINT>(text_.size()));
    return S_OK;
  }

 private:
  ~ValueObject() = default;
  std::wstring text_;
  bool hasDefault_;
  std::atomic<ULONG> references_{1};
};

}  // namespace

ComPtr<IDispatch> NewValueObject(const std::wstring& text, bool hasDefaultValue) {
  return ComPtr<IDispatch>(new ValueObject(text, hasDefaultValue));
}

std::wstring WindowsPathOf(const std::string& unixPath) {
  std::wstring path = L"Z:";
  for (char ch : unixPath) path.push_back(ch == '/' ? L'\\' : static_cast<wchar_t>(ch));
  return path;
}

std::wstring DllPath() {
  return WindowsPathOf(PELLAM_DLL);
}

}  // namespace pellam_test
