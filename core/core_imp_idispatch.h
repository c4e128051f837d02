#pragma once
// CCoreImpIDispatch: the core host page's window.external. Ten fixed members close or minimise
// the window, call Lua functions and scripts and read Lua values. The application object owns
// the one instance; reference counting never deletes it.
#include <windows.h>
#include <oaidl.h>

#include <functional>

#include "win/com_object.h"

class LuaObject;

class CCoreImpIDispatch final
    : public orv::ComObject<CCoreImpIDispatch, orv::ComLifetime::kOwnedElsewhere, IDispatch> {
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

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override;

 private:
  HRESULT callEngine(DISPID id, DISPPARAMS* params, VARIANT* result);

  std::function<HWND()> mainWindow_;
  std::function<LuaObject*()> engine_;
};
