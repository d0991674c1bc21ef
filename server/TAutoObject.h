// The automation object that COM sees: the scripting object TSMTP completed with IUnknown
// (interlocked counts, aggregation), IDispatch through the type information of ISMTP,
// IProvideClassInfo and ISupportErrorInfo.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "automation/com/TSMTP.h"

namespace PellamServer {

class TAutoObjectFactory;

// A COM interface has no virtual destructor: its objects go by Release, never by a delete through
// the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TAutoObject final : public SMTPUnit::TSMTP,
                          public IProvideClassInfo,
                          public ISupportErrorInfo {
 public:
  // Counted in the server object from here until the destructor. `outer` is the controlling
  // unknown of an aggregate, or null.
  TAutoObject(TAutoObjectFactory& factory, IUnknown* outer);

  // The end of CreateInstance: the interface riid, or the object freed when it has none.
  HRESULT HandOut(REFIID riid, void** ppv);

  // IUnknown of every interface but the object's own: passed to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;
  // IProvideClassInfo
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

 private:
  // The object's own IUnknown, which alone counts references, also when aggregated.
  class TOwnUnknown final : public IUnknown {
   public:
    explicit TOwnUnknown(TAutoObject& object) : object_(object) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    TAutoObject& object_;
  };

  ~TAutoObject() override;

  TAutoObjectFactory& factory_;
  TOwnUnknown own_;
  IUnknown* controller_;
  volatile LONG references_ = 0;
};
#pragma GCC diagnostic pop

}  // namespace PellamServer
