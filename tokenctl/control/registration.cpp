#include "registration.h"

#include <oleauto.h>
#include <olectl.h>

#include "module.h"
#include "reg_key.h"
#include "scoped_com.h"

namespace orv::tokenctl {

const wchar_t kClsidKey[] = L"CLSID\\{EF75B357-42E9-46bf-B124-DEE22748D503}";
const wchar_t kProgId[] = L"OstwinAutoCtrl.OstwinCtrl.1";
const wchar_t kVersionIndependentProgId[] = L"OstwinAutoCtrl.OstwinCtrl";

namespace {

const wchar_t kClsidText[] = L"{EF75B357-42E9-46bf-B124-DEE22748D503}";
const wchar_t kLibidText[] = L"{1A5BAF08-6DFD-4d3e-8411-C231CFF77210}";
const wchar_t kClassName[] = L"OstwinCtrl Class";

// Creates the key (and its parents) and sets one value; a null name is the default value.
bool setValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  RegKey key;
  return key.create(HKEY_CLASSES_ROOT, path.c_str(), KEY_WRITE) == ERROR_SUCCESS &&
         key.writeText(name, value) == ERROR_SUCCESS;
}

bool createKey(const std::wstring& path) {
  RegKey key;
  return key.create(HKEY_CLASSES_ROOT, path.c_str(), KEY_WRITE) == ERROR_SUCCESS;
}

// Missing keys are fine: there is nothing to remove.
bool deleteTree(const wchar_t* path) {
  return RegKey(HKEY_CLASSES_ROOT).deleteSubtree(path) == ERROR_SUCCESS;
}

}  // namespace

HRESULT registerControl(const std::wstring& controlPath) {
  const std::wstring clsid = kClsidKey;
  deleteTree(kClsidKey);  // the class key is replaced whole
  const bool ok =
      setValue(kProgId, nullptr, kClassName) &&
      setValue(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText) &&
      setValue(kVersionIndependentProgId, nullptr, kClassName) &&
      setValue(std::wstring(kVersionIndependentProgId) + L"\\CLSID", nullptr, kClsidText) &&
      setValue(std::wstring(kVersionIndependentProgId) + L"\\CurVer", nullptr, kProgId) &&
      setValue(clsid, nullptr, kClassName) && setValue(clsid + L"\\ProgID", nullptr, kProgId) &&
      setValue(clsid + L"\\VersionIndependentProgID", nullptr, kVersionIndependentProgId) &&
      createKey(clsid + L"\\Programmable") &&
      setValue(clsid + L"\\InprocServer32", nullptr, controlPath) &&
      setValue(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
      setValue(clsid + L"\\TypeLib", nullptr, kLibidText);
  if (!ok) return SELFREG_E_CLASS;

  ComPtr<ITypeLib> lib;
  HRESULT hr = ::LoadTypeLibEx(controlPath.c_str(), REGKIND_NONE, lib.put());
  if (FAILED(hr)) return SELFREG_E_TYPELIB;
  hr = ::RegisterTypeLib(lib.get(), const_cast<wchar_t*>(controlPath.c_str()), nullptr);
  return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT unregisterControl(const std::wstring& controlPath) {
  bool ok = deleteTree(kProgId);
  ok = deleteTree(kVersionIndependentProgId) && ok;
  ok = deleteTree(kClsidKey) && ok;

  ComPtr<ITypeLib> lib;
  if (SUCCEEDED(::LoadTypeLibEx(controlPath.c_str(), REGKIND_NONE, lib.put()))) {
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr))) {
      ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                          attr->syskind);
      lib->ReleaseTLibAttr(attr);
    }
  }
  return ok ? S_OK : SELFREG_E_CLASS;
}

}  // namespace orv::tokenctl

extern "C" HRESULT __stdcall DllRegisterServer() {
  return orv::tokenctl::registerControl(orv::tokenctl::controlModulePath());
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  return orv::tokenctl::unregisterControl(orv::tokenctl::controlModulePath());
}
