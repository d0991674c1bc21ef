// The module's server object and its lazily loaded type library.
#include "server/TComServer.h"

#include "automation/com/ErrorReport.h"

namespace PellamServer {
namespace {

TComServer* theServer = nullptr;

std::wstring PathOfModule(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

TComServer::TComServer(HMODULE module) : module_(module), path_(PathOfModule(module)) {}

TComServer::~TComServer() {
  if (typeLib_ != nullptr) typeLib_->Release();
}

void TComServer::Attach(HMODULE module) {
  if (theServer == nullptr) theServer = new TComServer(module);
}

void TComServer::Detach() {
  delete theServer;
  theServer = nullptr;
}

bool TComServer::Exists() {
  return theServer != nullptr;
}

TComServer& TComServer::Instance() {
  return *theServer;
}

ITypeLib& TComServer::TypeLib() {
  AcquireSRWLockExclusive(&typeLibLock_);
  HRESULT code = S_OK;
  if (typeLib_ == nullptr) code = LoadTypeLibEx(path_.c_str(), REGKIND_NONE, &typeLib_);
  ITypeLib* typeLib = typeLib_;
  ReleaseSRWLockExclusive(&typeLibLock_);
  if (typeLib == nullptr) {
    throw SMTPUnit::TOleError(FAILED(code) ? code : E_FAIL,
                              "Cannot load the type library of the module");
  }
  return *typeLib;
}

bool TComServer::CanUnload() const {
  return objects_ == 0 && factoryReferences_ == 0;
}

}  // namespace PellamServer
