// The registry entries of the module: its type library and, for each class factory, the class,
// its in-process server and its ProgID under HKEY_CLASSES_ROOT.
#pragma once

#include <windows.h>

namespace PellamServer {

// S_OK, or E_FAIL when any step failed; what was written before stays.
HRESULT RegisterServer();
// Removes what RegisterServer writes; missing keys are passed over. S_OK, or E_FAIL.
HRESULT UnregisterServer();

}  // namespace PellamServer
