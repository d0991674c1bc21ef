// The server object: one per module, holding the module's identity, its type library (loaded on
// first use and kept) and the object and factory counts that decide when it may be unloaded.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>

namespace PellamServer {

class TComServer {
 public:
  // Made when the module loads; no COM call is made here, under the loader's lock.
  static void Attach(HMODULE module);
  // Releases the type library when the module is unloaded while the process goes on.
  static void Detach();
  // Only called between Attach and Detach, while the module is loaded.
  static TComServer& Instance();
  static bool Exists();

  HMODULE Module() const { return module_; }
  // The DLL's full path.
  const std::wstring& ModulePath() const { return path_; }
  // Loaded from the DLL's own resource the first time; throws TOleError when that fails.
  ITypeLib& TypeLib();

  void ObjectCreated() { InterlockedIncrement(&objects_); }
  void ObjectDestroyed() { InterlockedDecrement(&objects_); }
  LONG AddFactoryReference() { return InterlockedIncrement(&factoryReferences_); }
  LONG ReleaseFactoryReference() { return InterlockedDecrement(&factoryReferences_); }
  // No live object, no server lock and no factory reference held by a client.
  bool CanUnload() const;

  TComServer(const TComServer&) = delete;
  TComServer& operator=(const TComServer&) = delete;

 private:
  explicit TComServer(HMODULE module);
  ~TComServer();

  HMODULE module_;
  std::wstring path_;
  SRWLOCK typeLibLock_ = SRWLOCK_INIT;
  ITypeLib* typeLib_ = nullptr;
  volatile LONG objects_ = 0;
  volatile LONG factoryReferences_ = 0;
};

}  // namespace PellamServer
