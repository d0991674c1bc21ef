// IUnknown, IDispatch, IProvideClassInfo and ISupportErrorInfo of the automation object.
#include "server/TAutoObject.h"

#include "server/PellamIdl.h"
#include "server/TAutoObjectFactory.h"
#include "server/TComServer.h"

namespace PellamServer {
namespace {

constexpr DISPID kOnStartPage = 1;

}  // namespace

TAutoObject::TAutoObject(TAutoObjectFactory& factory, IUnknown* outer)
    : factory_(factory), own_(*this), controller_(outer != nullptr ? outer : &own_) {
  TComServer::Instance().ObjectCreated();
}

TAutoObject::~TAutoObject() {
  TComServer::Instance().ObjectDestroyed();
}

// The count is held at one while the interface is asked for, so that a failed request frees the
// object and a successful one leaves the caller's reference alone.
HRESULT TAutoObject::HandOut(REFIID riid, void** ppv) {
  own_.AddRef();
  const HRESULT result = own_.QueryInterface(riid, ppv);
  own_.Release();
  return result;
}

HRESULT STDMETHODCALLTYPE TAutoObject::TOwnUnknown::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  TAutoObject& object = object_;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *ppv = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ISMTP)) {
    *ppv = static_cast<ISMTP*>(&object);
  } else if (IsEqualIID(riid, IID_IPageObject)) {
    *ppv = static_cast<IPageObject*>(&object);
  } else if (IsEqualIID(riid, IID_IProvideClassInfo)) {
    *ppv = static_cast<IProvideClassInfo*>(&object);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    *ppv = static_cast<ISupportErrorInfo*>(&object);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE TAutoObject::TOwnUnknown::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&object_.references_));
}

ULONG STDMETHODCALLTYPE TAutoObject::TOwnUnknown::Release() {
  const LONG left = InterlockedDecrement(&object_.references_);
  if (left == 0) delete &object_;
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE TAutoObject::QueryInterface(REFIID riid, void** ppv) {
  return controller_->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE TAutoObject::AddRef() {
  return controller_->AddRef();
}

ULONG STDMETHODCALLTYPE TAutoObject::Release() {
  return controller_->Release();
}

HRESULT STDMETHODCALLTYPE TAutoObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TAutoObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = &factory_.DispatchInfo();
  (*info)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TAutoObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                     DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(&factory_.DispatchInfo(), names, count, ids);
}

// A script host may assign with DISPATCH_PROPERTYPUT or DISPATCH_PROPERTYPUTREF; both reach the
// one put of each property. The type information calls the same vtable member a client would.
HRESULT STDMETHODCALLTYPE TAutoObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags,
                                              DISPPARAMS* params, VARIANT* result,
                                              EXCEPINFO* exception, UINT* argumentError) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  constexpr WORD kPuts = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  if ((flags & kPuts) != 0) flags |= kPuts;
  // A language without Nothing (JScript) starts the page with null or undefined; the type
  // information would refuse either as an IUnknown, so both are passed as no context.
  VARIANT noContext;
  DISPPARAMS withoutContext{};
  if (id == kOnStartPage && params != nullptr && params->cArgs == 1 && params->cNamedArgs == 0 &&
      (V_VT(&params->rgvarg[0]) == VT_NULL || V_VT(&params->rgvarg[0]) == VT_EMPTY)) {
    V_VT(&noContext) = VT_UNKNOWN;
    V_UNKNOWN(&noContext) = nullptr;
    withoutContext.rgvarg = &noContext;
    withoutContext.cArgs = 1;
    params = &withoutContext;
  }
  return factory_.DispatchInfo().Invoke(static_cast<ISMTP*>(this), id, flags, params, result,
                                        exception, argumentError);
}

HRESULT STDMETHODCALLTYPE TAutoObject::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = &factory_.ClassInfo();
  (*info)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TAutoObject::InterfaceSupportsErrorInfo(REFIID riid) {
  for (const IID* supported : {&IID_IUnknown, &IID_IDispatch, &IID_ISMTP, &IID_IPageObject,
                               &IID_IProvideClassInfo, &IID_ISupportErrorInfo}) {
    if (IsEqualIID(riid, *supported)) return S_OK;
  }
  return S_FALSE;
}

}  // namespace PellamServer
