// The page object's share of the scripting object: the scripting context that the page engine
// hands to OnStartPage, kept until OnEndPage.
#pragma once

#include <windows.h>

#include "server/PellamIdl.h"

namespace SMTPUnit {

// A COM interface has no virtual destructor: its objects go by Release, never by a delete through
// the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TASPObject : public IPageObject {
 public:
  TASPObject(const TASPObject&) = delete;
  TASPObject& operator=(const TASPObject&) = delete;

 protected:
  TASPObject() = default;
  virtual ~TASPObject();

  // Keeps the context as IScriptingContext, or none for a null one; throws MailError and keeps
  // the previous context when it is no scripting context.
  void KeepScriptingContext(IUnknown* context);
  void ReleaseScriptingContext();
  IScriptingContext* ScriptingContext() const { return context_; }

 private:
  IScriptingContext* context_ = nullptr;
};
#pragma GCC diagnostic pop

}  // namespace SMTPUnit
