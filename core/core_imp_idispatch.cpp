#include "core_imp_idispatch.h"

#include <cwchar>
#include <string>
#include <typeinfo>

#include "Kavrel.h"
#include "ansi_text.h"

namespace {

struct Member {
  const wchar_t* name;
  DISPID id;
};
const Member kMembers[] = {
    {L"CoreQuit", CCoreImpIDispatch::kCoreQuit},
    {L"CoreMin", CCoreImpIDispatch::kCoreMin},
    {L"JsCallLuaFuncSyn", CCoreImpIDispatch::kJsCallLuaFuncSyn},
    {L"JsCallLuaFuncAsyn", CCoreImpIDispatch::kJsCallLuaFuncAsyn},
    {L"JsCallLuaScriptSyn", CCoreImpIDispatch::kJsCallLuaScriptSyn},
    {L"JsCallLuaScriptAsyn", CCoreImpIDispatch::kJsCallLuaScriptAsyn},
    {L"JsGetLuaVarString", CCoreImpIDispatch::kJsGetLuaVarString},
    {L"JsGetLuaVarJson", CCoreImpIDispatch::kJsGetLuaVarJson},
    {L"JsCallLuaFuncSynReturn", CCoreImpIDispatch::kJsCallLuaFuncSynReturn},
    {L"JsGetTableItem", CCoreImpIDispatch::kJsGetTableItem},
};

constexpr size_t kNameBuffer = 260;

// One argument of a call, in the script's order (the dispatch parameters hold them reversed).
enum class Absent { Refused, AsNull, AsEmpty };
struct TextArg {
  HRESULT hr = S_OK;
  bool isNull = false;
  std::string narrow;
  std::wstring wide;
  const char* c_str() const { return isNull ? nullptr : narrow.c_str(); }
};

TextArg textArgument(const DISPPARAMS* params, UINT index, Absent absent) {
  TextArg arg;
  const VARIANT& v = params->rgvarg[params->cArgs - 1 - index];
  if (v.vt == VT_BSTR) {
    arg.wide.assign(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
    arg.narrow = orv::toNarrow(arg.wide);
  } else if ((v.vt == VT_EMPTY || v.vt == VT_NULL) && absent != Absent::Refused) {
    arg.isNull = absent == Absent::AsNull;
  } else {
    arg.hr = DISP_E_TYPEMISMATCH;
  }
  return arg;
}

// Results are written over, never cleared: callers may hand in an uninitialised variant.
void setBool(VARIANT* result, bool value) {
  if (!result) return;
  VariantInit(result);
  result->vt = VT_BOOL;
  result->boolVal = value ? 1 : 0;
}

void setText(VARIANT* result, const std::wstring& text) {
  if (!result) return;
  VariantInit(result);
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

}  // namespace

CCoreImpIDispatch::CCoreImpIDispatch(std::function<HWND()> mainWindow,
                                     std::function<LuaObject*()> engine)
    : mainWindow_(std::move(mainWindow)), engine_(std::move(engine)) {}

STDMETHODIMP CCoreImpIDispatch::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

STDMETHODIMP CCoreImpIDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CCoreImpIDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                              DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  for (UINT i = 0; i < count; ++i) {
    // Pages rely on the lookup never failing: an unknown or over-long name gets DISPID_UNKNOWN.
    ids[i] = DISPID_UNKNOWN;
    if (!names[i] || std::wcslen(names[i]) >= kNameBuffer) continue;
    for (const Member& m : kMembers) {
      if (std::wcscmp(names[i], m.name) == 0) ids[i] = m.id;
    }
  }
  return S_OK;
}

STDMETHODIMP CCoreImpIDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO*, UINT*) {
  // A member without a value still gives a defined one (empty) rather than what the caller's
  // variant happened to hold.
  if (result) VariantInit(result);
  switch (id) {
    case kCoreQuit:  // acts however it is reached, even as a property read
      SendMessageW(mainWindow_ ? mainWindow_() : nullptr, WM_CLOSE, 0, 0);
      return S_OK;
    case kCoreMin:
      SendMessageW(mainWindow_ ? mainWindow_() : nullptr, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      return S_OK;
    case kJsCallLuaFuncSyn:
    case kJsCallLuaFuncAsyn:
    case kJsCallLuaScriptSyn:
    case kJsCallLuaScriptAsyn:
    case kJsGetLuaVarString:
    case kJsCallLuaFuncSynReturn:
    case kJsGetTableItem:
      // Reading a member as a property, as pages do to test for it, answers true.
      if ((flags & DISPATCH_PROPERTYGET) && result) setBool(result, true);
      if (!(flags & DISPATCH_METHOD)) return S_OK;
      return callEngine(id, params, result);
    default:  // JsGetLuaVarJson and unknown ids: nothing
      return S_OK;
  }
}

HRESULT CCoreImpIDispatch::callEngine(DISPID id, DISPPARAMS* params, VARIANT* result) {
  const UINT needed =
      (id == kJsCallLuaFuncSyn || id == kJsCallLuaFuncAsyn || id == kJsCallLuaFuncSynReturn) ? 2
                                                                                             : 1;
  if (!params || params->cArgs < needed || (params->cArgs > 0 && !params->rgvarg))
    return DISP_E_BADPARAMCOUNT;
  LuaObject* engine = engine_ ? engine_() : nullptr;

  switch (id) {
    case kJsCallLuaFuncSyn:
    case kJsCallLuaFuncAsyn: {
      const TextArg function = textArgument(params, 0, Absent::Refused);
      // The synchronous call hands Lua its argument as it came (nil for undefined); the
      // asynchronous one an empty text.
      const TextArg argument =
          textArgument(params, 1, id == kJsCallLuaFuncSyn ? Absent::AsNull : Absent::AsEmpty);
      if (FAILED(function.hr)) return function.hr;
      if (FAILED(argument.hr)) return argument.hr;
      const bool ok = engine && engine->KavrelFunc(id == kJsCallLuaFuncSyn ? 1 : 2,
                                                   function.c_str(), argument.c_str());
      setBool(result, ok);
      return S_OK;
    }
    case kJsCallLuaScriptSyn:
    case kJsCallLuaScriptAsyn: {
      const TextArg path = textArgument(params, 0, Absent::Refused);
      if (FAILED(path.hr)) return path.hr;
      const int r = engine
                        ? (id == kJsCallLuaScriptSyn ? engine->KavrelFile(1, path.c_str(), nullptr)
                                                     : engine->KavrelFile(2, path.c_str(), ""))
                        : 0;
      // The script's int result, cut to the low 16 bits of the boolean's value.
      if (result) {
        VariantInit(result);
        result->vt = VT_BOOL;
        result->boolVal = static_cast<VARIANT_BOOL>(r & 0xFFFF);
      }
      return S_OK;
    }
    case kJsGetLuaVarString: {
      const TextArg name = textArgument(params, 0, Absent::Refused);
      if (FAILED(name.hr)) return name.hr;
      wchar_t buffer[kNameBuffer] = {};
      if (engine)
        engine->GetCoreGlobalVar(buffer, name.c_str(), typeid(wchar_t*).name(), kNameBuffer);
      buffer[kNameBuffer - 1] = L'\0';
      setText(result, buffer);
      return S_OK;
    }
    case kJsCallLuaFuncSynReturn: {
      const TextArg function = textArgument(params, 0, Absent::Refused);
      const TextArg argument = textArgument(params, 1, Absent::AsEmpty);
      if (FAILED(function.hr)) return function.hr;
      if (FAILED(argument.hr)) return argument.hr;
      const char* text =
          engine ? KavrelFunc_Return<char*>(engine, function.c_str(), argument.c_str()) : nullptr;
      setText(result, orv::toWide(text ? text : ""));
      return S_OK;
    }
    case kJsGetTableItem: {
      TextArg path = textArgument(params, 0, Absent::AsEmpty);
      if (FAILED(path.hr)) return path.hr;
      const char* text = engine ? GetTableItemValue<char*>(engine, path.wide.data()) : nullptr;
      setText(result, orv::toWide(text ? text : ""));
      return S_OK;
    }
  }
  return S_OK;
}
