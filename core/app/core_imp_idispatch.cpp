#include "core_imp_idispatch.h"

#include <optional>
#include <string>
#include <typeinfo>

#include "Kavrel.h"
#include "ansi_text.h"

namespace orv::core {

namespace {

const DispatchMember kMembers[] = {
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

// Pages rely on the lookup never failing: an unknown or over-long name gets DISPID_UNKNOWN and
// S_OK. The argument-error index is never filled.
constexpr DispatchRules kRules = {false, kNameBuffer, false};

// A text on its way to Lua, in the ANSI code page; a missing one stays null.
class LuaText {
 public:
  explicit LuaText(const std::optional<std::wstring>& text)
      : null_(!text), narrow_(text ? toNarrow(*text) : std::string()) {}
  const char* c_str() const { return null_ ? nullptr : narrow_.c_str(); }

 private:
  bool null_;
  std::string narrow_;
};

// The engine's narrow answer as the page's text (empty for none).
std::wstring pageText(const char* text) { return toWide(text ? text : ""); }

}  // namespace

CCoreImpIDispatch::CCoreImpIDispatch(std::function<HWND()> mainWindow,
                                     std::function<LuaObject*()> engine)
    : DispatchObject(DispatchTable(kMembers, kRules)),
      mainWindow_(std::move(mainWindow)),
      engine_(std::move(engine)) {}

HRESULT CCoreImpIDispatch::invokeMember(DISPID id, WORD flags, const DispatchArgs& args,
                                        ScopedVariant& result) {
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
      if (flags & DISPATCH_PROPERTYGET) result.setBoolValue(1);
      if (!(flags & DISPATCH_METHOD)) return S_OK;
      if (id == kJsCallLuaScriptSyn || id == kJsCallLuaScriptAsyn)
        return runScript(id, args, result);
      if (id == kJsGetLuaVarString || id == kJsGetTableItem) return readValue(id, args, result);
      return callFunction(id, args, result);
    default:  // JsGetLuaVarJson and unknown ids: nothing
      return S_OK;
  }
}

HRESULT CCoreImpIDispatch::callFunction(DISPID id, const DispatchArgs& args,
                                        ScopedVariant& result) {
  std::optional<std::wstring> function, argument;
  HRESULT hr = args.require(2);
  if (SUCCEEDED(hr)) hr = args.text(0, TextRule::kText, function);
  if (SUCCEEDED(hr)) hr = args.text(1, TextRule::kTextOrAbsent, argument);
  if (FAILED(hr)) return hr;
  // The synchronous call hands Lua its argument as it came (nil for undefined); the others an
  // empty text.
  if (!argument && id != kJsCallLuaFuncSyn) argument.emplace();
  const LuaText name(function), text(argument);
  LuaObject* lua = engine();
  if (id == kJsCallLuaFuncSynReturn) {
    result.setString(
        pageText(lua ? KavrelFunc_Return<char*>(lua, name.c_str(), text.c_str()) : nullptr));
    return S_OK;
  }
  const bool ok =
      lua && lua->KavrelFunc(id == kJsCallLuaFuncSyn ? 1 : 2, name.c_str(), text.c_str());
  result.setBoolValue(ok ? 1 : 0);
  return S_OK;
}

HRESULT CCoreImpIDispatch::runScript(DISPID id, const DispatchArgs& args, ScopedVariant& result) {
  std::optional<std::wstring> path;
  HRESULT hr = args.require(1);
  if (SUCCEEDED(hr)) hr = args.text(0, TextRule::kText, path);
  if (FAILED(hr)) return hr;
  const LuaText file(path);
  LuaObject* lua = engine();
  const int r = lua ? (id == kJsCallLuaScriptSyn ? lua->KavrelFile(1, file.c_str(), nullptr)
                                                 : lua->KavrelFile(2, file.c_str(), ""))
                    : 0;
  // The script's int result, cut to the low 16 bits of the boolean's value.
  result.setBoolValue(static_cast<VARIANT_BOOL>(r & 0xFFFF));
  return S_OK;
}

HRESULT CCoreImpIDispatch::readValue(DISPID id, const DispatchArgs& args, ScopedVariant& result) {
  std::wstring name;
  HRESULT hr = args.require(1);
  // The table path may be missing (an empty path); a global's name may not.
  if (SUCCEEDED(hr))
    hr = args.text(0, id == kJsGetTableItem ? TextRule::kTextOrAbsent : TextRule::kText, name);
  if (FAILED(hr)) return hr;
  LuaObject* lua = engine();
  if (id == kJsGetTableItem) {
    // The path goes to the engine in UTF-16, as it came.
    result.setString(pageText(lua ? GetTableItemValue<char*>(lua, name.data()) : nullptr));
    return S_OK;
  }
  wchar_t buffer[kNameBuffer] = {};
  if (lua) {
    lua->GetCoreGlobalVar(buffer, toNarrow(name).c_str(), typeid(wchar_t*).name(), kNameBuffer);
  }
  buffer[kNameBuffer - 1] = L'\0';
  result.setString(buffer);
  return S_OK;
}

}  // namespace orv::core
