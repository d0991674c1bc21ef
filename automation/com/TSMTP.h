// The scripting object Pellam.SMTP as its interface ISMTP shows it: every member converts the
// script's VARIANTs, hands them to TSMTPCore, and turns any failure into an error object. The
// server's automation object completes it with IUnknown and IDispatch.
#pragma once

#include <windows.h>

#include "automation/TSMTPCore.h"
#include "automation/com/TASPObject.h"
#include "server/PellamIdl.h"

namespace SMTPUnit {

// A COM interface has no virtual destructor: its objects go by Release, never by a delete through
// the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TSMTP : public TASPObject, public ISMTP {
 public:
  // ISMTP, in dispid order; OnStartPage and OnEndPage also serve IPageObject.
  HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* AScriptingContext) override;
  HRESULT STDMETHODCALLTYPE OnEndPage() override;
  HRESULT STDMETHODCALLTYPE put_Host(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_Port(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_UserName(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_PassWord(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_AuthType(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_Priority(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_ContentType(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_From(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_To(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_Cc(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_Bcc(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_Subject(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_TextBody(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_HtmlBody(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_Attachment(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE put_Signature(VARIANT Value) override;
  HRESULT STDMETHODCALLTYPE SendMail(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE get_Status(VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE get_CopyRight(VARIANT* Value) override;

 protected:
  TSMTP() = default;
  ~TSMTP() override = default;

 private:
  // A put of a text value into one of the core's setters.
  template <class Store>
  HRESULT PutText(const VARIANT& value, const char* member, Store store);
  template <class Store>
  HRESULT PutInteger(const VARIANT& value, const char* member, Store store);
  // A get: the out VARIANT is emptied first and stays empty when the work fails.
  template <class Read>
  HRESULT Get(VARIANT* value, Read read);

  TSMTPCore core_;
};
#pragma GCC diagnostic pop

}  // namespace SMTPUnit
