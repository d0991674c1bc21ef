// Registration and unregistration of the type library and the classes of the module.
#include "server/Registration.h"

#include <oleauto.h>

#include <string>

#include "mail/codec/MailError.h"
#include "server/TAutoObjectFactory.h"
#include "server/TClassManager.h"
#include "server/TComServer.h"

namespace PellamServer {
namespace {

[[noreturn]] void RaiseRegistryError() {
  throw MailVrex::MailError("Error creating system registry entry");
}

// Braces and upper-case hexadecimal digits.
std::wstring TextOfGuid(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// The short (8.3) form of a path that holds a blank, where the file system has one.
std::wstring ServerPath(const std::wstring& path) {
  if (path.find(L' ') == std::wstring::npos) return path;
  const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return path;
  std::wstring shortPath(size, L'\0');
  const DWORD length = GetShortPathNameW(path.c_str(), shortPath.data(), size);
  if (length == 0 || length >= size) return path;
  shortPath.resize(length);
  return shortPath;
}

// Sets a REG_SZ value, its terminating NUL included, creating the key as needed.
void WriteValue(const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    RaiseRegistryError();
  }
  const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  const LONG result =
      RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes);
  RegCloseKey(handle);
  if (result != ERROR_SUCCESS) RaiseRegistryError();
}

std::wstring LibraryName(ITypeLib& typeLib) {
  BSTR name = nullptr;
  if (FAILED(typeLib.GetDocumentation(-1, &name, nullptr, nullptr, nullptr))) return {};
  std::wstring result(name, SysStringLen(name));
  SysFreeString(name);
  return result;
}

// The library's GUID, version, locale and target system, read once per call.
class TLibraryAttributes {
 public:
  explicit TLibraryAttributes(ITypeLib& typeLib) : typeLib_(typeLib) {
    if (FAILED(typeLib_.GetLibAttr(&attributes_))) RaiseRegistryError();
  }
  ~TLibraryAttributes() { typeLib_.ReleaseTLibAttr(attributes_); }
  TLibraryAttributes(const TLibraryAttributes&) = delete;
  TLibraryAttributes& operator=(const TLibraryAttributes&) = delete;
  const TLIBATTR& operator*() const { return *attributes_; }

 private:
  ITypeLib& typeLib_;
  TLIBATTR* attributes_ = nullptr;
};

void RegisterFactory(TAutoObjectFactory& factory, ITypeLib& typeLib, const std::wstring& path) {
  const TLibraryAttributes library(typeLib);
  const std::wstring classKey = L"CLSID\\" + TextOfGuid(factory.ClassId());
  const std::wstring progId = LibraryName(typeLib) + L"." + factory.ClassName();
  const std::wstring version =
      std::to_wstring((*library).wMajorVerNum) + L"." + std::to_wstring((*library).wMinorVerNum);
  WriteValue(classKey, nullptr, factory.Description());
  WriteValue(classKey + L"\\InprocServer32", nullptr, ServerPath(path));
  WriteValue(classKey + L"\\InprocServer32", L"ThreadingModel", factory.ThreadingModel());
  WriteValue(progId, nullptr, factory.Description());
  WriteValue(progId + L"\\Clsid", nullptr, TextOfGuid(factory.ClassId()));
  WriteValue(classKey + L"\\ProgID", nullptr, progId);
  WriteValue(classKey + L"\\Version", nullptr, version);
  WriteValue(classKey + L"\\TypeLib", nullptr, TextOfGuid((*library).guid));
}

void UnregisterFactory(TAutoObjectFactory& factory, ITypeLib& typeLib) {
  const std::wstring classKey = L"CLSID\\" + TextOfGuid(factory.ClassId());
  const std::wstring progId = LibraryName(typeLib) + L"." + factory.ClassName();
  for (const std::wstring& key :
       {classKey + L"\\TypeLib", classKey + L"\\Version", classKey + L"\\ProgID",
        progId + L"\\Clsid", progId, classKey + L"\\InprocServer32", classKey}) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
  }
}

}  // namespace

HRESULT RegisterServer() {
  try {
    TComServer& server = TComServer::Instance();
    ITypeLib& typeLib = server.TypeLib();
    std::wstring path = server.ModulePath();
    std::wstring helpFolder = path.substr(0, path.find_last_of(L'\\') + 1);
    if (FAILED(RegisterTypeLib(&typeLib, path.data(), helpFolder.data()))) RaiseRegistryError();
    TClassManager& classes = TClassManager::Instance();
    classes.CreateFactories();
    classes.ForEach([&](TAutoObjectFactory& factory) { RegisterFactory(factory, typeLib, path); });
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT UnregisterServer() {
  try {
    ITypeLib& typeLib = TComServer::Instance().TypeLib();
    {
      const TLibraryAttributes library(typeLib);
      UnRegisterTypeLib((*library).guid, 1, 0, (*library).lcid, (*library).syskind);
    }
    TClassManager& classes = TClassManager::Instance();
    classes.CreateFactories();
    classes.ForEach([&](TAutoObjectFactory& factory) { UnregisterFactory(factory, typeLib); });
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace PellamServer
