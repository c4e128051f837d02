#include "updater_imp_idispatch.h"

#include "page_operations.h"
#include "product_key.h"

namespace orv::updater {

namespace {

const DispatchMember kMembers[] = {
    {L"CoreQuit", CCoreImpIDispatch::kCoreQuit},
    {L"CoreMin", CCoreImpIDispatch::kCoreMin},
    {L"JsCallFunc", CCoreImpIDispatch::kJsCallFunc},
};

// Unknown names fail the lookup; a refused argument's position is reported.
constexpr DispatchRules kRules = {true, 0, true};

}  // namespace

CCoreImpIDispatch::CCoreImpIDispatch(Targets targets)
    : DispatchObject(DispatchTable(kMembers, kRules)), targets_(std::move(targets)) {}

STDMETHODIMP CCoreImpIDispatch::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IDispatch) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

HRESULT CCoreImpIDispatch::invokeMember(DISPID id, WORD flags, const DispatchArgs& args,
                                        ScopedVariant& result) {
  const HWND window = targets_.mainWindow ? targets_.mainWindow() : nullptr;
  switch (id) {
    case kCoreQuit:
      // Ends the dialog's modal loop, and with it the program; while the setup program runs,
      // once it has ended (the page says that the close waits).
      if (UpdateFlow* flow = targets_.updateFlow ? targets_.updateFlow() : nullptr;
          flow && flow->holdCloseForSetup()) {
        if (targets_.callPage) targets_.callPage(L"ShowTitle", L"waitsetup");
        return S_OK;
      }
      if (window) PostMessageW(window, WM_QUIT, 0, 0);
      return S_OK;
    case kCoreMin:
      if (window) SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      return S_OK;
    case kJsCallFunc:
      return callFunc(flags, args, result);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT CCoreImpIDispatch::callFunc(WORD flags, const DispatchArgs& args, ScopedVariant& result) {
  // A read without arguments (the page's null test) gets the property's value: a boolean whose
  // value is 1.
  if ((flags & DISPATCH_PROPERTYGET) && (args.count() == 0 || !(flags & DISPATCH_METHOD))) {
    result.setBoolValue(1);
    return S_OK;
  }
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  std::wstring name, parameter;
  HRESULT hr = args.require(2);
  if (SUCCEEDED(hr)) hr = args.text(0, TextRule::kAnyAsText, name);
  if (SUCCEEDED(hr)) hr = args.text(1, TextRule::kAnyAsText, parameter);
  if (FAILED(hr)) return hr;
  runOperation(name, parameter);
  result.setBoolValue(0);
  return S_OK;
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
      if (DesktopCopy* copy = targets_.desktopCopy ? targets_.desktopCopy() : nullptr)
        copy->copy(parameter);
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
