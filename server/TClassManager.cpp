// The list of class factories and its lock.
#include "server/TClassManager.h"

#include <mutex>

#include "server/TAutoObjectFactory.h"

namespace PellamServer {

// Never destroyed by the runtime: at process exit nothing of it may be released, and an unload
// while the process goes on empties it through Clear.
TClassManager& TClassManager::Instance() {
  static TClassManager* const manager = new TClassManager;
  return *manager;
}

void TClassManager::CreateFactories() {
  {
    std::shared_lock reading(lock_);
    if (created_) return;
  }
  // The one class of the module. The factory reads the type library outside the lock.
  auto factory = TAutoObjectFactory::ForSMTP();
  std::unique_lock writing(lock_);
  if (created_) return;
  factories_.insert(factories_.begin(), std::move(factory));
  created_ = true;
}

TAutoObjectFactory* TClassManager::Find(REFCLSID clsid) {
  std::shared_lock reading(lock_);
  for (const auto& factory : factories_) {
    if (IsEqualCLSID(factory->ClassId(), clsid)) return factory.get();
  }
  return nullptr;
}

void TClassManager::ForEach(const std::function<void(TAutoObjectFactory&)>& action) {
  std::unique_lock writing(lock_);
  for (const auto& factory : factories_) action(*factory);
}

void TClassManager::Clear() {
  std::unique_lock writing(lock_);
  factories_.clear();
  created_ = false;
}

}  // namespace PellamServer
