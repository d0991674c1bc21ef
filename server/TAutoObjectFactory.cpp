// Creation of the SMTP class factory from the type library, and IClassFactory.
#include "server/TAutoObjectFactory.h"

#include <new>

#include "automation/com/ErrorReport.h"
#include "mail/codec/MailError.h"
#include "server/PellamIdl.h"
#include "server/TAutoObject.h"
#include "server/TComServer.h"

namespace PellamServer {
namespace {

constexpr char kClassName[] = "TSMTP";

[[noreturn]] void RaiseTypeInfoError(const char* text) {
  throw MailVrex::MailError(std::string(text) + kClassName);
}

// The type of the coclass's implemented interface marked default and not source, or none.
ITypeInfo* DefaultInterfaceOf(ITypeInfo& coclass) {
  TYPEATTR* attributes = nullptr;
  if (FAILED(coclass.GetTypeAttr(&attributes))) return nullptr;
  const WORD count = attributes->cImplTypes;
  coclass.ReleaseTypeAttr(attributes);
  for (UINT i = 0; i < count; ++i) {
    INT flags = 0;
    HREFTYPE reference = 0;
    ITypeInfo* found = nullptr;
    if (FAILED(coclass.GetImplTypeFlags(i, &flags))) continue;
    if ((flags & IMPLTYPEFLAG_FDEFAULT) == 0 || (flags & IMPLTYPEFLAG_FSOURCE) != 0) continue;
    if (SUCCEEDED(coclass.GetRefTypeOfImplType(i, &reference)) &&
        SUCCEEDED(coclass.GetRefTypeInfo(reference, &found))) {
      return found;
    }
  }
  return nullptr;
}

IID GuidOf(ITypeInfo& info) {
  TYPEATTR* attributes = nullptr;
  IID guid = IID_NULL;
  if (SUCCEEDED(info.GetTypeAttr(&attributes))) {
    guid = attributes->guid;
    info.ReleaseTypeAttr(attributes);
  }
  return guid;
}

std::wstring TextOf(BSTR text) {
  std::wstring result = text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
  SysFreeString(text);
  return result;
}

}  // namespace

std::unique_ptr<TAutoObjectFactory> TAutoObjectFactory::ForSMTP() {
  ITypeLib& typeLib = TComServer::Instance().TypeLib();
  std::unique_ptr<TAutoObjectFactory> factory(new TAutoObjectFactory);
  factory->classId_ = CLSID_SMTP;
  factory->errorIid_ = IID_IUnknown;
  if (FAILED(typeLib.GetTypeInfoOfGuid(CLSID_SMTP, &factory->classInfo_))) {
    factory->classInfo_ = nullptr;
    RaiseTypeInfoError("Type information missing for class ");
  }
  BSTR name = nullptr;
  BSTR help = nullptr;
  factory->classInfo_->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr);
  factory->className_ = TextOf(name);
  factory->description_ = TextOf(help);

  factory->dispatchInfo_ = DefaultInterfaceOf(*factory->classInfo_);
  if (factory->dispatchInfo_ == nullptr)
    RaiseTypeInfoError("Incorrect type information for class ");
  if (!IsEqualIID(GuidOf(*factory->dispatchInfo_), IID_ISMTP)) {
    RaiseTypeInfoError("Dispatch interface missing from class ");
  }
  factory->errorIid_ = IID_ISMTP;
  return factory;
}

TAutoObjectFactory::~TAutoObjectFactory() {
  if (dispatchInfo_ != nullptr) dispatchInfo_->Release();
  if (classInfo_ != nullptr) classInfo_->Release();
}

HRESULT STDMETHODCALLTYPE TAutoObjectFactory::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TAutoObjectFactory::AddRef() {
  return static_cast<ULONG>(TComServer::Instance().AddFactoryReference());
}

ULONG STDMETHODCALLTYPE TAutoObjectFactory::Release() {
  return static_cast<ULONG>(TComServer::Instance().ReleaseFactoryReference());
}

// A failure to make the object is reported through the error object: in a web server's process
// nobody could answer a message box, and the request would hang on it.
HRESULT STDMETHODCALLTYPE TAutoObjectFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                                             void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  TAutoObject* object = nullptr;
  try {
    object = new TAutoObject(*this, outer);
  } catch (...) {
    SMTPUnit::ReportCurrentException();
    return E_UNEXPECTED;
  }
  return object->HandOut(riid, ppv);
}

HRESULT STDMETHODCALLTYPE TAutoObjectFactory::LockServer(BOOL lock) {
  const HRESULT result = CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
  if (lock) {
    TComServer::Instance().ObjectCreated();
  } else {
    TComServer::Instance().ObjectDestroyed();
  }
  return result;
}

}  // namespace PellamServer
