#pragma once
// The registry entries of the control (under HKEY_CLASSES_ROOT) and its type library.
#include <windows.h>

#include <string>

namespace orv::tokenctl {

extern const wchar_t kClsidKey[];  // "CLSID\{EF75B357-42E9-46bf-B124-DEE22748D503}"
extern const wchar_t kProgId[];
extern const wchar_t kVersionIndependentProgId[];

// Writes every key of the table (the class key replaced whole) and registers the type library.
HRESULT registerControl(const std::wstring& controlPath);
// Removes what registration wrote; the CLSID parent key stays.
HRESULT unregisterControl(const std::wstring& controlPath);

}  // namespace orv::tokenctl
