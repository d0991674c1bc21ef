// The scripting context of the page, held between OnStartPage and OnEndPage.
#include "automation/com/TASPObject.h"

#include "mail/codec/MailError.h"

namespace SMTPUnit {

TASPObject::~TASPObject() {
  ReleaseScriptingContext();
}

void TASPObject::KeepScriptingContext(IUnknown* context) {
  IScriptingContext* kept = nullptr;
  if (context != nullptr &&
      FAILED(context->QueryInterface(IID_IScriptingContext, reinterpret_cast<void**>(&kept)))) {
    throw MailVrex::MailError(
        "OnStartPage: the argument is no scripting context (interface not "
        "supported)");
  }
  ReleaseScriptingContext();
  context_ = kept;
}

void TASPObject::ReleaseScriptingContext() {
  if (context_ != nullptr) context_->Release();
  context_ = nullptr;
}

}  // namespace SMTPUnit
