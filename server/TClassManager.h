// The class manager: the module's class factories, newest first, behind a many-readers/one-writer
// lock, since objects of one module may live in several apartments at once.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <shared_mutex>
#include <vector>

namespace PellamServer {

class TAutoObjectFactory;

class TClassManager {
 public:
  static TClassManager& Instance();

  // Makes the factory of every class of the module the first time; a failure is raised and the
  // next call tries again.
  void CreateFactories();
  // The factory for the class, or none.
  TAutoObjectFactory* Find(REFCLSID clsid);
  void ForEach(const std::function<void(TAutoObjectFactory&)>& action);
  // Frees every factory, when the module unloads.
  void Clear();

 private:
  std::shared_mutex lock_;
  std::vector<std::unique_ptr<TAutoObjectFactory>> factories_;
  bool created_ = false;
};

}  // namespace PellamServer
