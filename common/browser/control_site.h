#pragma once
// Hosting of the WebBrowser control without a framework: the control site that answers the
// document host's questions (no context menu, no browser shortcuts, the program's own
// window.external and message boxes), and the manager that creates a site for every control.
#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <oleidl.h>

#include <functional>
#include <memory>
#include <string>

#include "com_object.h"
#include "scoped_com.h"

namespace orv {

// Where the document host reads the keyboard; tests give their own.
class KeyStateSource {
 public:
  virtual ~KeyStateSource() = default;
  virtual bool controlDown() const { return GetKeyState(VK_CONTROL) < 0; }
  virtual bool asyncKeyDown(int vk) const { return GetAsyncKeyState(vk) < 0; }
};

// The document-host flags: dialog, no 3-D border, no scroll bars, themed.
constexpr DWORD kDocHostFlags = DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_NO3DBORDER |
                                DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_THEME;  // 0x4000D

// The site of one hosted control. Reference counted; the manager and the hosted browser hold it.
class CCoreControlSite final
    : public ComObject<CCoreControlSite, ComLifetime::kDeleteOnLastRelease, IOleClientSite,
                       IOleInPlaceSite, IOleInPlaceFrame, IDocHostShowUI, IDocHostUIHandler> {
 public:
  // `external` is what the page gets as window.external; `container` the window holding the
  // control. `keys` may be null for the system's keyboard state.
  CCoreControlSite(HWND container, IDispatch* external, std::shared_ptr<const KeyStateSource> keys);

  void setControlRect(const RECT& rect) { rect_ = rect; }
  IOleInPlaceActiveObject* activeObject() const { return active_.get(); }

  // Base interfaces beyond the listed ones.
  void* queryOther(REFIID riid);

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
  STDMETHODIMP GetContainer(IOleContainer** out) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (for both the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* out) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override;
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT rect) override;

  // IOleInPlaceUIWindow / IOleInPlaceFrame
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override;
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  // Shared by the frame and the document host (same signature): not implemented for either.
  STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostShowUI
  STDMETHODIMP ShowMessage(HWND hwnd, LPOLESTR text, LPOLESTR caption, DWORD type,
                           LPOLESTR helpFile, DWORD helpContext, LRESULT* result) override;
  STDMETHODIMP ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override { return S_OK; }

  // IDocHostUIHandler (EnableModeless is the frame's, above)
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD cmd) override;
  STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
  STDMETHODIMP GetExternal(IDispatch** out) override;
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject**) override { return E_NOTIMPL; }

 private:
  ~CCoreControlSite() override = default;

  HWND container_;
  ComPtr<IDispatch> external_;
  std::shared_ptr<const KeyStateSource> keys_;
  ComPtr<IOleInPlaceActiveObject> active_;
  RECT rect_ = {};
};

// One WebBrowser control hosted in a window, with its site and event sink.
class HostedWebBrowser {
 public:
  struct Events {
    std::function<void()> beforeNavigate2;   // DISPID 250; navigation always proceeds
    std::function<void()> documentComplete;  // DISPID 259
  };
  ~HostedWebBrowser();
  HostedWebBrowser(const HostedWebBrowser&) = delete;
  HostedWebBrowser& operator=(const HostedWebBrowser&) = delete;

  IWebBrowser2* browser() const { return browser_.get(); }
  CCoreControlSite* site() const { return site_.get(); }
  // The control's own window (the parent of the document's window), or null.
  HWND window() const;
  void place(const RECT& rect);
  // Navigate2 (DISPID 500) with the URL and the flags; target, post data and headers empty.
  bool navigate2(const std::wstring& url, long flags);
  // Navigate (DISPID 104) with the URL alone.
  bool navigate(const std::wstring& url);
  // The Document property (DISPID 203) as a dispatch pointer with one reference, or null.
  ComPtr<IDispatch> document();
  // The LocationURL property: the address of the document shown, or empty.
  std::wstring locationUrl();
  // UI activation: the control takes the keyboard focus, so keys reach the page's
  // pre-translation rather than the dialog's.
  void uiActivate();

 private:
  friend class CCoreCustomOccManager;
  HostedWebBrowser() = default;

  ComPtr<CCoreControlSite> site_;
  ComPtr<IOleObject> object_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> events_;
  DWORD cookie_ = 0;
};

// Hosts controls in the programs' dialogs; every control gets a CCoreControlSite.
class CCoreCustomOccManager {
 public:
  explicit CCoreCustomOccManager(IDispatch* external,
                                 std::shared_ptr<const KeyStateSource> keys = nullptr)
      : external_(external), keys_(std::move(keys)) {}

  ComPtr<CCoreControlSite> createSite(HWND container) const;
  // What every site hands the page as window.external.
  IDispatch* external() const { return external_.get(); }

  // Creates the WebBrowser control in `container` at `rect`, initialised as a new object and
  // in-place active, its window carrying `controlId`. Null when the platform cannot create it
  // (the error in *hr when given).
  std::unique_ptr<HostedWebBrowser> createWebBrowser(HWND container, const RECT& rect,
                                                     HostedWebBrowser::Events events,
                                                     HRESULT* hr = nullptr,
                                                     int controlId = 0) const;

 private:
  ComPtr<IDispatch> external_;
  std::shared_ptr<const KeyStateSource> keys_;
};

}  // namespace orv
