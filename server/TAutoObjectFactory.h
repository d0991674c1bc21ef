// The class factory of SMTP: made from the type library's coclass, it creates the automation
// objects, counts its own references in the server object and answers LockServer.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <memory>
#include <string>

namespace PellamServer {

// A COM interface has no virtual destructor: its objects go by Release, never by a delete through
// the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TAutoObjectFactory final : public IClassFactory {
 public:
  // Reads the coclass of CLSID_SMTP and its default interface from the type library; throws
  // TOleError or MailError when they do not match the class.
  static std::unique_ptr<TAutoObjectFactory> ForSMTP();
  ~TAutoObjectFactory();

  // IUnknown: the factory lives as long as the module; its count is the server's.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  REFCLSID ClassId() const { return classId_; }
  const std::wstring& ClassName() const { return className_; }
  const std::wstring& Description() const { return description_; }
  const wchar_t* ThreadingModel() const { return L"Apartment"; }
  REFIID ErrorIid() const { return errorIid_; }
  ITypeInfo& ClassInfo() const { return *classInfo_; }
  ITypeInfo& DispatchInfo() const { return *dispatchInfo_; }

  TAutoObjectFactory(const TAutoObjectFactory&) = delete;
  TAutoObjectFactory& operator=(const TAutoObjectFactory&) = delete;

 private:
  TAutoObjectFactory() = default;

  CLSID classId_{};
  IID errorIid_{};
  std::wstring className_;
  std::wstring description_;
  ITypeInfo* classInfo_ = nullptr;
  ITypeInfo* dispatchInfo_ = nullptr;
};
#pragma GCC diagnostic pop

}  // namespace PellamServer
