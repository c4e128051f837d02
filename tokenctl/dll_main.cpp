// The control file's entry points: DllMain remembers the module for resources and the type
// library; the class object and the unload question are the COM exports (registration's are in
// registration.cpp). Nothing in the control's logic calls back here.
#include <windows.h>

#include <new>

#include "OstwinAutoCtrl_h.h"
#include "class_factory.h"
#include "module.h"
#include "scoped_com.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    orv::tokenctl::setControlModule(instance);
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
  return orv::tokenctl::moduleCanUnload() ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_OstwinCtrl)) return CLASS_E_CLASSNOTAVAILABLE;
  orv::ComPtr<orv::tokenctl::OstwinCtrlFactory> factory;
  factory.attach(new (std::nothrow) orv::tokenctl::OstwinCtrlFactory());
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(iid, out);
}
