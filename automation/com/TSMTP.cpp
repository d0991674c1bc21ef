// The members of ISMTP: conversion of the script's values, and the error objects of failures.
#include "automation/com/TSMTP.h"

#include "automation/com/AnsiText.h"
#include "automation/com/ErrorReport.h"
#include "automation/com/VariantValue.h"

namespace SMTPUnit {

template <class Store>
HRESULT TSMTP::PutText(const VARIANT& value, const char* member, Store store) {
  return Guarded([&] {
    core_.RequireWorkingState();
    (core_.*store)(TextOfVariant(value, member));
  });
}

template <class Store>
HRESULT TSMTP::PutInteger(const VARIANT& value, const char* member, Store store) {
  return Guarded([&] {
    core_.RequireWorkingState();
    (core_.*store)(IntegerOfVariant(value, member));
  });
}

template <class Read>
HRESULT TSMTP::Get(VARIANT* value, Read read) {
  if (value == nullptr) return E_POINTER;
  VariantInit(value);
  return Guarded([&] {
    core_.RequireWorkingState();
    read(*value);
  });
}

HRESULT STDMETHODCALLTYPE TSMTP::OnStartPage(IUnknown* AScriptingContext) {
  return Guarded([&] {
    KeepScriptingContext(AScriptingContext);
    core_.StartPage(SystemCodePageTexts());
  });
}

HRESULT STDMETHODCALLTYPE TSMTP::OnEndPage() {
  return Guarded([&] {
    core_.RequireWorkingState();
    ReleaseScriptingContext();
    core_.EndPage();
  });
}

HRESULT STDMETHODCALLTYPE TSMTP::put_Host(VARIANT Value) {
  return PutText(Value, "Host", &TSMTPCore::SetHost);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_Port(VARIANT Value) {
  return PutInteger(Value, "Port", &TSMTPCore::SetPort);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_UserName(VARIANT Value) {
  return PutText(Value, "UserName", &TSMTPCore::SetUserName);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_PassWord(VARIANT Value) {
  return PutText(Value, "PassWord", &TSMTPCore::SetPassWord);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_AuthType(VARIANT Value) {
  return PutInteger(Value, "AuthType", &TSMTPCore::SetAuthType);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_Priority(VARIANT Value) {
  return PutInteger(Value, "Priority", &TSMTPCore::SetPriority);
}

// A value that is no integer chooses plain text, without an error.
HRESULT STDMETHODCALLTYPE TSMTP::put_ContentType(VARIANT Value) {
  return Guarded([&] {
    core_.RequireWorkingState();
    std::int32_t kind = 0;
    try {
      kind = IntegerOfVariant(Value, "ContentType");
    } catch (const MailVrex::MailError&) {
      kind = 0;
    }
    core_.SetContentType(kind);
  });
}

HRESULT STDMETHODCALLTYPE TSMTP::put_From(VARIANT Value) {
  return PutText(Value, "From", &TSMTPCore::SetFrom);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_To(VARIANT Value) {
  return PutText(Value, "To", &TSMTPCore::SetTo);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_Cc(VARIANT Value) {
  return PutText(Value, "Cc", &TSMTPCore::SetCc);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_Bcc(VARIANT Value) {
  return PutText(Value, "Bcc", &TSMTPCore::SetBcc);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_Subject(VARIANT Value) {
  return PutText(Value, "Subject", &TSMTPCore::SetSubject);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_TextBody(VARIANT Value) {
  return PutText(Value, "TextBody", &TSMTPCore::SetTextBody);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_HtmlBody(VARIANT Value) {
  return PutText(Value, "HtmlBody", &TSMTPCore::SetHtmlBody);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_Attachment(VARIANT Value) {
  return PutText(Value, "Attachment", &TSMTPCore::SetAttachment);
}

HRESULT STDMETHODCALLTYPE TSMTP::put_Signature(VARIANT Value) {
  return PutText(Value, "Signature", &TSMTPCore::SetSignature);
}

HRESULT STDMETHODCALLTYPE TSMTP::SendMail(VARIANT* Result) {
  return Get(Result, [&](VARIANT& result) {
    const bool sent = core_.SendMail();
    V_VT(&result) = VT_BOOL;
    V_BOOL(&result) = sent ? VARIANT_TRUE : VARIANT_FALSE;
  });
}

HRESULT STDMETHODCALLTYPE TSMTP::get_Status(VARIANT* Value) {
  return Get(Value, [&](VARIANT& status) {
    V_BSTR(&status) = BstrOfAnsi(core_.Status());
    V_VT(&status) = VT_BSTR;
  });
}

HRESULT STDMETHODCALLTYPE TSMTP::get_CopyRight(VARIANT* Value) {
  return Get(Value, [&](VARIANT& notice) {
    V_BSTR(&notice) = BstrOfAnsi(core_.CopyRight());
    V_VT(&notice) = VT_BSTR;
  });
}

}  // namespace SMTPUnit
