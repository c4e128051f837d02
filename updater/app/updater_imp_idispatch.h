#pragma once
// CCoreImpIDispatch: the updater page's window.external. Three members: CoreQuit ends the
// program, CoreMin minimises the window, and JsCallFunc (name, parameter) runs one of the
// page's operations (the answers to the update flow's questions, the desktop copy, the language
// query). The application object owns the one instance; reference counting never deletes it.
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

#include "update_flow_seam.h"
#include "dispatch_object.h"

namespace orv::updater {

class CCoreImpIDispatch final : public DispatchObject<CCoreImpIDispatch> {
 public:
  enum DispatchId : DISPID { kCoreQuit = 1, kCoreMin = 2, kJsCallFunc = 3 };

  // What the members act on, read at every call (each may give null while there is no dialog).
  struct Targets {
    std::function<HWND()> mainWindow;
    std::function<UpdateFlow*()> updateFlow;
    std::function<DesktopCopy*()> desktopCopy;
    // Calls a page function with one text argument (on the dialog's thread).
    std::function<void(const std::wstring& function, const std::wstring& argument)> callPage;
  };

  explicit CCoreImpIDispatch(Targets targets);
  ~CCoreImpIDispatch() override = default;
  CCoreImpIDispatch(const CCoreImpIDispatch&) = delete;
  CCoreImpIDispatch& operator=(const CCoreImpIDispatch&) = delete;

  // Only IDispatch is offered; IUnknown itself is refused, as the page's host never asks for it.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;

  // The operation of JsCallFunc (name, parameter); also what Invoke runs.
  void runOperation(const std::wstring& name, const std::wstring& parameter);

 private:
  HRESULT invokeMember(DISPID id, WORD flags, const DispatchArgs& args,
                       ScopedVariant& result) override;
  HRESULT callFunc(WORD flags, const DispatchArgs& args, ScopedVariant& result);
  void sendLangId(const std::wstring& identifier);

  Targets targets_;
};

}  // namespace orv::updater
