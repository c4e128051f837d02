#include "dispatch_object.h"

#include <cwchar>

namespace orv {

DISPID DispatchTable::idOf(const wchar_t* name) const {
  if (!name || (rules_.nameLimit && std::wcslen(name) >= rules_.nameLimit)) return DISPID_UNKNOWN;
  for (std::size_t i = 0; i < count_; ++i) {
    if (std::wcscmp(name, members_[i].name) == 0) return members_[i].id;
  }
  return DISPID_UNKNOWN;
}

HRESULT DispatchTable::lookUp(LPOLESTR* names, UINT count, DISPID* ids) const {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = idOf(names[i]);
    if (ids[i] == DISPID_UNKNOWN && rules_.unknownNameFails) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT DispatchArgs::require(UINT needed) const {
  if (count() < needed || (count() > 0 && !params_->rgvarg)) return DISP_E_BADPARAMCOUNT;
  return S_OK;
}

HRESULT DispatchArgs::text(UINT index, TextRule rule, std::optional<std::wstring>& out) const {
  out.reset();
  if (index >= count() || !params_->rgvarg) return DISP_E_BADPARAMCOUNT;
  const UINT position = params_->cArgs - 1 - index;
  const VARIANT& v = params_->rgvarg[position];
  if (v.vt == VT_BSTR) {
    out.emplace(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? ::SysStringLen(v.bstrVal) : 0);
    return S_OK;
  }
  if (rule == TextRule::kTextOrAbsent && (v.vt == VT_EMPTY || v.vt == VT_NULL)) return S_OK;
  if (rule == TextRule::kAnyAsText) {
    ScopedVariant converted;
    if (SUCCEEDED(::VariantChangeType(converted.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR))) {
      out.emplace(converted.ref().bstrVal ? converted.ref().bstrVal : L"");
      return S_OK;
    }
  }
  if (argError_) *argError_ = position;
  return DISP_E_TYPEMISMATCH;
}

HRESULT DispatchArgs::text(UINT index, TextRule rule, std::wstring& out) const {
  std::optional<std::wstring> value;
  const HRESULT hr = text(index, rule, value);
  out = value ? std::move(*value) : std::wstring();
  return hr;
}

}  // namespace orv
