// The DLL's exports and its class factory as COM and their callers use them: the class object,
// aggregation, LockServer and the counts behind DllCanUnloadNow.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/server/ComTestSupport.h"

namespace pellam_test {
namespace {

// The DLL under test, loaded as COM loads it, and its exports.
class Module {
 public:
  Module() : handle_(LoadLibraryW(DllPath().c_str())) {}
  ~Module() {
    if (handle_ != nullptr) FreeLibrary(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
    using Export = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    return Procedure<Export>("DllGetClassObject")(clsid, iid, object);
  }
  HRESULT CanUnloadNow() const {
    using Export = HRESULT(STDAPICALLTYPE*)();
    return Procedure<Export>("DllCanUnloadNow")();
  }

 private:
  template <class Export>
  Export Procedure(const char* name) const {
    Export procedure = handle_ ? ExportOf<Export>(handle_, name) : nullptr;
    if (procedure == nullptr) throw std::runtime_error(std::string("no export ") + name);
    return procedure;
  }
  HMODULE handle_;
};

class ServerTest : public testing::Test {
 protected:
  Apartment apartment;
  Module module;
};

TEST_F(ServerTest, ClassObjectOnlyForTheClassAndAnInterfaceItHas) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(module.GetClassObject(CLSID_SMTP, IID_IClassFactory, factory.OutVoid()), S_OK);
  EXPECT_TRUE(factory);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(module.GetClassObject(IID_ISMTP, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(module.GetClassObject(CLSID_SMTP, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ServerTest, UnloadWaitsForObjectsFactoryReferencesAndLocks) {
  ASSERT_EQ(module.CanUnloadNow(), S_OK);
  {
    ComPtr<ISMTP> smtp = CreateSmtp();
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(module.CanUnloadNow(), S_OK);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module.GetClassObject(CLSID_SMTP, IID_IClassFactory, factory.OutVoid()), S_OK);
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);  // the lock alone
  ASSERT_EQ(module.GetClassObject(CLSID_SMTP, IID_IClassFactory, factory.OutVoid()), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

// An outer object of an aggregate, counting its references and the questions passed to it.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    ++questions;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  std::atomic<ULONG> references{1};
  int questions = 0;
  IUnknown* inner = nullptr;
};

TEST_F(ServerTest, CreateInstanceChecksItsArgumentsAndAggregatesOnlyThroughIUnknown) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module.GetClassObject(CLSID_SMTP, IID_IClassFactory, factory.OutVoid()), S_OK);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_ISMTP, nullptr), E_POINTER);
  Outer outer;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_ISMTP, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);  // the factory is still held
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_OK);  // and the refused object is gone

  ASSERT_EQ(module.GetClassObject(CLSID_SMTP, IID_IClassFactory, factory.OutVoid()), S_OK);
  ComPtr<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.OutVoid()), S_OK);
  outer.inner = inner.Get();
  ComPtr<ISMTP> smtp;
  ASSERT_EQ(inner->QueryInterface(IID_ISMTP, smtp.OutVoid()), S_OK);
  EXPECT_EQ(outer.references, 2u);  // the interface's reference is the outer object's
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(smtp->QueryInterface(IID_IDispatch, dispatch.OutVoid()), S_OK);
  EXPECT_EQ(outer.questions, 1);  // asked through the outer object
  EXPECT_EQ(outer.references, 3u);
  dispatch.Reset();
  smtp.Reset();
  EXPECT_EQ(outer.references, 1u);
  outer.inner = nullptr;
  inner.Reset();
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace pellam_test
