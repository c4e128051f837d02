#include "updater_imp_idispatch.h"

#include <cwchar>

#include "page_operations.h"
#include "product_key.h"
#include "win/scoped_com.h"

namespace orv::updater {

namespace {

struct Member {
  const wchar_t* name;
  DISPID id;
};
const Member kMembers[] = {
    {L"CoreQuit", CCoreImpIDispatch::kCoreQuit},
    {L"CoreMin", CCoreImpIDispatch::kCoreMin},
    {L"JsCallFunc", CCoreImpIDispatch::kJsCallFunc},
};

// Argument `index` in the script's order (dispatch holds them last first) as text.
HRESULT textArgument(const DISPPARAMS* params, UINT index, std::wstring& out) {
  const VARIANT& v = params->rgvarg[params->cArgs - 1 - index];
  if (v.vt == VT_BSTR) {
    out.assign(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
    return S_OK;
  }
  ScopedVariant text;
  const HRESULT hr = VariantChangeType(text.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  out.assign(text.ref().bstrVal ? text.ref().bstrVal : L"");
  return S_OK;
}

// The page tests window.external.JsCallFunc against null: a boolean whose value is 1.
void setBoolValue(VARIANT* result, short value) {
  if (!result) return;
  VariantInit(result);
  result->vt = VT_BOOL;
  result->boolVal = value;
}

}  // namespace

CCoreImpIDispatch::CCoreImpIDispatch(Targets targets) : targets_(std::move(targets)) {}

STDMETHODIMP CCoreImpIDispatch::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IDispatch) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP CCoreImpIDispatch::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

STDMETHODIMP CCoreImpIDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CCoreImpIDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (const Member& m : kMembers) {
      if (names[i] && std::wcscmp(names[i], m.name) == 0) ids[i] = m.id;
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

STDMETHODIMP CCoreImpIDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO*, UINT* argError) {
  if (result) VariantInit(result);
  const HWND window = targets_.mainWindow ? targets_.mainWindow() : nullptr;
  switch (id) {
    case kCoreQuit:
      // Ends the dialog's modal loop, and with it the program.
      if (window) PostMessageW(window, WM_QUIT, 0, 0);
      return S_OK;
    case kCoreMin:
      if (window) SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      return S_OK;
    case kJsCallFunc: {
      const UINT argCount = params ? params->cArgs : 0;
      // A read without arguments (the page's null test) gets the property's value.
      if ((flags & DISPATCH_PROPERTYGET) && (argCount == 0 || !(flags & DISPATCH_METHOD))) {
        setBoolValue(result, 1);
        return S_OK;
      }
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      if (argCount < 2 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
      std::wstring name, parameter;
      HRESULT hr = textArgument(params, 0, name);
      if (FAILED(hr)) {
        if (argError) *argError = params->cArgs - 1;
        return hr;
      }
      hr = textArgument(params, 1, parameter);
      if (FAILED(hr)) {
        if (argError) *argError = params->cArgs - 2;
        return hr;
      }
      runOperation(name, parameter);
      setBoolValue(result, 0);
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

void CCoreImpIDispatch::runOperation(const std::wstring& name, const std::wstring& parameter) {
  const PageRequest request = pageRequest(name, parameter);
  UpdateFlow* flow = targets_.updateFlow ? targets_.updateFlow() : nullptr;
  switch (request.operation) {
    case PageOperation::kConfirmUpdate:
      if (flow) flow->confirmUpdate();
      break;
    case PageOperation::kConfirmRetry:
      if (flow) flow->confirmRetry();
      break;
    case PageOperation::kConfirmRetryTooTimes:
      if (flow) flow->confirmRetryTooTimes(request.yes);
      break;
    case PageOperation::kConfirmCloseIe:
      if (flow) flow->confirmCloseIe(request.yes);
      break;
    case PageOperation::kCopyFile:
      if (DesktopCopy* copy = targets_.desktopCopy ? targets_.desktopCopy() : nullptr) copy->copy(parameter);
      break;
    case PageOperation::kGetLangId:
      sendLangId(parameter);
      break;
    case PageOperation::kNone:
      break;
  }
}

void CCoreImpIDispatch::sendLangId(const std::wstring& identifier) {
  std::int32_t langId = -1;
  {
    ProductKey key(identifier);
    langId = key.readDword(L"LangID");
  }
  if (targets_.callPage) targets_.callPage(L"JSGetLangID", std::to_wstring(langId));
}

}  // namespace orv::updater
