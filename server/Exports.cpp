// The module's entry point and the four exports of an in-process COM server.
#include <windows.h>

#include <ole2.h>
#include <olectl.h>

#include "platform/win32/MessageWindow.h"
#include "server/Registration.h"
#include "server/TAutoObjectFactory.h"
#include "server/TClassManager.h"
#include "server/TComServer.h"

using PellamServer::TClassManager;
using PellamServer::TComServer;

// Nothing here calls COM or loads the type library: this runs under the loader's lock. The type
// library and the factory are made on first use.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    TComServer::Attach(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded while the process goes on: a later load may sit elsewhere in memory, so nothing of
    // this copy may stay registered behind it.
    TClassManager::Instance().Clear();
    TComServer::Detach();
    platform::win32::MessageWindow::ForgetWindowClass();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  PellamServer::TAutoObjectFactory* factory = nullptr;
  try {
    TClassManager::Instance().CreateFactories();
    factory = TClassManager::Instance().Find(rclsid);
  } catch (...) {
    factory = nullptr;
  }
  if (factory == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() {
  return !TComServer::Exists() || TComServer::Instance().CanUnload() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  return PellamServer::RegisterServer();
}

STDAPI DllUnregisterServer() {
  return PellamServer::UnregisterServer();
}
