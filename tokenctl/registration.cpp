#include "registration.h"

#include <oleauto.h>
#include <olectl.h>

#include "module.h"

namespace orv {

const wchar_t kClsidKey[] = L"CLSID\\{EF75B357-42E9-46bf-B124-DEE22748D503}";
const wchar_t kProgId[] = L"OstwinAutoCtrl.OstwinCtrl.1";
const wchar_t kVersionIndependentProgId[] = L"OstwinAutoCtrl.OstwinCtrl";

namespace {

const wchar_t kClsidText[] = L"{EF75B357-42E9-46bf-B124-DEE22748D503}";
const wchar_t kLibidText[] = L"{1A5BAF08-6DFD-4d3e-8411-C231CFF77210}";
const wchar_t kClassName[] = L"OstwinCtrl Class";

class ScopedRegKey {
 public:
  ~ScopedRegKey() { if (key_) ::RegCloseKey(key_); }
  HKEY* put() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Creates the key (and its parents) and sets one value; a null name is the default value.
bool setValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  ScopedRegKey key;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(key.get(), name, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

bool createKey(const std::wstring& path) {
  ScopedRegKey key;
  return ::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                           key.put(), nullptr) == ERROR_SUCCESS;
}

// Missing keys are fine: there is nothing to remove.
bool deleteTree(const wchar_t* path) {
  // With a subkey name, RegDeleteTreeW removes that key itself as well.
  const LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, path);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
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
      setValue(clsid, nullptr, kClassName) &&
      setValue(clsid + L"\\ProgID", nullptr, kProgId) &&
      setValue(clsid + L"\\VersionIndependentProgID", nullptr, kVersionIndependentProgId) &&
      createKey(clsid + L"\\Programmable") &&
      setValue(clsid + L"\\InprocServer32", nullptr, controlPath) &&
      setValue(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
      setValue(clsid + L"\\TypeLib", nullptr, kLibidText);
  if (!ok) return SELFREG_E_CLASS;

  ITypeLib* lib = nullptr;
  HRESULT hr = ::LoadTypeLibEx(controlPath.c_str(), REGKIND_NONE, &lib);
  if (FAILED(hr)) return SELFREG_E_TYPELIB;
  hr = ::RegisterTypeLib(lib, const_cast<wchar_t*>(controlPath.c_str()), nullptr);
  lib->Release();
  return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT unregisterControl(const std::wstring& controlPath) {
  bool ok = deleteTree(kProgId);
  ok = deleteTree(kVersionIndependentProgId) && ok;
  ok = deleteTree(kClsidKey) && ok;

  ITypeLib* lib = nullptr;
  if (SUCCEEDED(::LoadTypeLibEx(controlPath.c_str(), REGKIND_NONE, &lib))) {
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr))) {
      ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                          attr->syskind);
      lib->ReleaseTLibAttr(attr);
    }
    lib->Release();
  }
  return ok ? S_OK : SELFREG_E_CLASS;
}

}  // namespace orv

extern "C" HRESULT __stdcall DllRegisterServer() {
  return orv::registerControl(orv::controlModulePath());
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  return orv::unregisterControl(orv::controlModulePath());
}
