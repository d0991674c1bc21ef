// Error objects of the scripting object, made from the exception that ended a member.
#include "automation/com/ErrorReport.h"

#include <oleauto.h>

#include <new>

#include "automation/com/AnsiText.h"
#include "server/PellamIdl.h"

namespace SMTPUnit {
namespace {

constexpr wchar_t kSource[] = L"Pellam.SMTP";

}  // namespace

HRESULT ReportError(std::string_view message, HRESULT code) {
  ICreateErrorInfo* info = nullptr;
  if (FAILED(CreateErrorInfo(&info))) return code;
  try {
    const std::wstring description = WideOfAnsi(message);
    info->SetDescription(const_cast<LPOLESTR>(description.c_str()));
  } catch (...) {
    // No memory for the text: the error object goes out without it.
  }
  info->SetSource(const_cast<LPOLESTR>(kSource));
  info->SetGUID(IID_ISMTP);
  info->SetHelpContext(0);
  info->SetHelpFile(const_cast<LPOLESTR>(L""));
  IErrorInfo* error = nullptr;
  if (SUCCEEDED(info->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
    SetErrorInfo(0, error);
    error->Release();
  }
  info->Release();
  return code;
}

HRESULT ReportCurrentException() noexcept {
  try {
    throw;
  } catch (const TOleError& failure) {
    return ReportError(failure.what(), failure.Code() < 0 ? failure.Code() : E_UNEXPECTED);
  } catch (const std::bad_alloc&) {
    return ReportError("Out of memory", E_UNEXPECTED);
  } catch (const std::exception& failure) {
    return ReportError(failure.what(), E_UNEXPECTED);
  } catch (...) {
    return ReportError("Unexpected failure", E_UNEXPECTED);
  }
}

}  // namespace SMTPUnit
