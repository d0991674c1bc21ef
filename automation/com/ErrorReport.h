// How failures of the scripting object reach the script: an error object for the calling thread
// and the failure HRESULT that goes with it.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace SMTPUnit {

// A failure that has an OLE error code of its own to return.
class TOleError : public std::runtime_error {
 public:
  TOleError(HRESULT code, const std::string& message) : runtime_error(message), code_(code) {}
  HRESULT Code() const { return code_; }

 private:
  HRESULT code_;
};

// Publishes an error object with the message as its description, the ProgID as its source and
// the IID of ISMTP as its GUID, and returns code.
HRESULT ReportError(std::string_view message, HRESULT code);

// Called inside a catch block: reports the exception in flight and returns E_UNEXPECTED, or the
// OLE error code it carries when that is a failure code.
HRESULT ReportCurrentException() noexcept;

// Runs a member's work; whatever it throws becomes the error object and the failure HRESULT.
template <class Work>
HRESULT Guarded(Work&& work) noexcept {
  try {
    work();
    return S_OK;
  } catch (...) {
    return ReportCurrentException();
  }
}

}  // namespace SMTPUnit
