#pragma once
// CCoreImpIDispatch: the core host page's window.external. Ten fixed members close or minimise
// the window, call Lua functions and scripts and read Lua values. The application object owns
// the one instance; reference counting never deletes it.
#include <windows.h>
#include <oaidl.h>

#include <functional>

#include "dispatch_object.h"

class LuaObject;

namespace orv::core {

class CCoreImpIDispatch final : public DispatchObject<CCoreImpIDispatch> {
 public:
  enum DispatchId : DISPID {
    kCoreQuit = 1,
    kCoreMin = 2,
    kJsCallLuaFuncSyn = 3,
    kJsCallLuaFuncAsyn = 4,
    kJsCallLuaScriptSyn = 5,
    kJsCallLuaScriptAsyn = 6,
    kJsGetLuaVarString = 7,
    kJsGetLuaVarJson = 8,
    kJsCallLuaFuncSynReturn = 9,
    kJsGetTableItem = 10,
  };

  // The calls act on the main window and its engine, read at every call (both may be null
  // before the dialog exists).
  CCoreImpIDispatch(std::function<HWND()> mainWindow, std::function<LuaObject*()> engine);
  ~CCoreImpIDispatch() override = default;
  CCoreImpIDispatch(const CCoreImpIDispatch&) = delete;
  CCoreImpIDispatch& operator=(const CCoreImpIDispatch&) = delete;

 private:
  HRESULT invokeMember(DISPID id, WORD flags, const DispatchArgs& args,
                       ScopedVariant& result) override;
  HRESULT callFunction(DISPID id, const DispatchArgs& args, ScopedVariant& result);
  HRESULT runScript(DISPID id, const DispatchArgs& args, ScopedVariant& result);
  HRESULT readValue(DISPID id, const DispatchArgs& args, ScopedVariant& result);
  LuaObject* engine() const { return engine_ ? engine_() : nullptr; }

  std::function<HWND()> mainWindow_;
  std::function<LuaObject*()> engine_;
};

}  // namespace orv::core
