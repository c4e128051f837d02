#include "control_site.h"

#include <exdispid.h>

#include "key_filter.h"

namespace orv {
namespace {
// The IWebBrowser2 members the hosts call through IDispatch.
constexpr DISPID kDispidNavigate = 104;
constexpr DISPID kDispidDocument = 203;
constexpr DISPID kDispidNavigate2 = 500;
}  // namespace

CCoreControlSite::CCoreControlSite(HWND container, IDispatch* external,
                                   std::shared_ptr<const KeyStateSource> keys)
    : container_(container), external_(external), keys_(std::move(keys)) {
  if (!keys_) keys_ = std::make_shared<KeyStateSource>();
}

void* CCoreControlSite::queryOther(REFIID riid) {
  // The base interfaces: a window is the in-place site's, a UI window the frame's.
  if (riid == IID_IOleWindow) return static_cast<IOleInPlaceSite*>(this);
  if (riid == IID_IOleInPlaceUIWindow) return static_cast<IOleInPlaceFrame*>(this);
  return nullptr;
}

STDMETHODIMP CCoreControlSite::GetMoniker(DWORD, DWORD, IMoniker** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CCoreControlSite::GetContainer(IOleContainer** out) {
  if (out) *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CCoreControlSite::GetWindow(HWND* out) {
  if (!out) return E_POINTER;
  *out = container_;
  return S_OK;
}

STDMETHODIMP CCoreControlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                                LPRECT pos, LPRECT clip,
                                                LPOLEINPLACEFRAMEINFO info) {
  if (frame) {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
  }
  if (doc) *doc = nullptr;
  if (pos) *pos = rect_;
  if (clip) *clip = rect_;
  if (info) {
    info->cb = sizeof(OLEINPLACEFRAMEINFO);
    info->fMDIApp = FALSE;
    info->hwndFrame = container_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

STDMETHODIMP CCoreControlSite::OnInPlaceDeactivate() {
  active_.reset();
  return S_OK;
}

STDMETHODIMP CCoreControlSite::OnPosRectChange(LPCRECT rect) {
  if (!rect) return E_POINTER;
  rect_ = *rect;
  return S_OK;
}

STDMETHODIMP CCoreControlSite::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
  active_ = active;
  return S_OK;
}

STDMETHODIMP CCoreControlSite::ShowMessage(HWND hwnd, LPOLESTR text, LPOLESTR, DWORD type, LPOLESTR,
                                           DWORD, LRESULT* result) {
  // The page's alerts look like the program's own: the browser's caption is replaced by none.
  const int chosen = MessageBoxW(hwnd, text ? text : L"", L"", type);
  if (result) *result = chosen;
  return S_OK;
}

STDMETHODIMP CCoreControlSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (!info) return E_POINTER;
  info->dwFlags = kDocHostFlags;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

STDMETHODIMP CCoreControlSite::TranslateAccelerator(LPMSG msg, const GUID*, DWORD) {
  if (!msg) return S_FALSE;
  // No opening over the page, printing or a second window by shortcut.
  return swallowsAccelerator(msg->message, keys_->controlDown(), keys_->asyncKeyDown('O'),
                             keys_->asyncKeyDown('P'), keys_->asyncKeyDown('N'))
             ? S_OK
             : S_FALSE;
}

STDMETHODIMP CCoreControlSite::GetExternal(IDispatch** out) {
  if (!out) return E_POINTER;
  *out = external_.get();
  if (*out) (*out)->AddRef();
  return S_OK;
}

namespace {

// Receives the browser's events (DWebBrowserEvents2) and hands the two the programs use on.
class BrowserEventSink final
    : public ComObject<BrowserEventSink, ComLifetime::kDeleteOnLastRelease, IDispatch> {
 public:
  explicit BrowserEventSink(HostedWebBrowser::Events events) : events_(std::move(events)) {}

  // The events' outgoing interface is answered by the same dispatch.
  void* queryOther(REFIID riid) {
    return riid == DIID_DWebBrowserEvents2 ? static_cast<IDispatch*>(this) : nullptr;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (id == DISPID_BEFORENAVIGATE2 && events_.beforeNavigate2) events_.beforeNavigate2();
    if (id == DISPID_DOCUMENTCOMPLETE && events_.documentComplete) events_.documentComplete();
    return S_OK;
  }

 private:
  HostedWebBrowser::Events events_;
};

// Calls a dispatch member with arguments given in the script's order.
HRESULT invoke(IDispatch* target, DISPID id, WORD flags, std::initializer_list<VARIANT*> args,
               VARIANT* result) {
  std::vector<VARIANT> reversed;
  for (auto it = args.end(); it != args.begin();) reversed.push_back(**--it);
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                        nullptr);
}

}  // namespace

HostedWebBrowser::~HostedWebBrowser() {
  if (events_ && cookie_) events_->Unadvise(cookie_);
  if (object_) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(object_.as(inPlace))) inPlace->InPlaceDeactivate();
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
  }
}

HWND HostedWebBrowser::window() const {
  ComPtr<IOleInPlaceObject> inPlace;
  HWND hwnd = nullptr;
  if (object_ && SUCCEEDED(object_.as(inPlace))) inPlace->GetWindow(&hwnd);
  return hwnd;
}

void HostedWebBrowser::place(const RECT& rect) {
  site_->setControlRect(rect);
  ComPtr<IOleInPlaceObject> inPlace;
  if (object_ && SUCCEEDED(object_.as(inPlace))) inPlace->SetObjectRects(&rect, &rect);
}

bool HostedWebBrowser::navigate2(const std::wstring& url, long flags) {
  ScopedVariant address(url.c_str());
  VARIANT flagArg;
  VariantInit(&flagArg);
  flagArg.vt = VT_I4;
  flagArg.lVal = flags;
  ScopedVariant target, postData, headers;
  return SUCCEEDED(invoke(browser_.get(), kDispidNavigate2, DISPATCH_METHOD,
                          {address.get(), &flagArg, target.get(), postData.get(), headers.get()},
                          nullptr));
}

bool HostedWebBrowser::navigate(const std::wstring& url) {
  ScopedVariant address(url.c_str());
  return SUCCEEDED(
      invoke(browser_.get(), kDispidNavigate, DISPATCH_METHOD, {address.get()}, nullptr));
}

ComPtr<IDispatch> HostedWebBrowser::document() {
  ScopedVariant result;
  ComPtr<IDispatch> doc;
  if (SUCCEEDED(invoke(browser_.get(), kDispidDocument, DISPATCH_PROPERTYGET, {}, result.get())) &&
      result.ref().vt == VT_DISPATCH)
    doc = result.ref().pdispVal;
  return doc;
}

std::wstring HostedWebBrowser::locationUrl() {
  ScopedBstr url;
  if (browser_ && SUCCEEDED(browser_->get_LocationURL(url.put()))) return url.str();
  return std::wstring();
}

void HostedWebBrowser::uiActivate() {
  if (!object_) return;
  HWND container = nullptr;
  site_->GetWindow(&container);
  RECT rect = {};
  if (HWND control = window()) {
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&rect), 2);
  }
  object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site_.get(), 0, container, &rect);
}

ComPtr<CCoreControlSite> CCoreCustomOccManager::createSite(HWND container) const {
  ComPtr<CCoreControlSite> site;
  site.attach(new CCoreControlSite(container, external_.get(), keys_));
  return site;
}

std::unique_ptr<HostedWebBrowser> CCoreCustomOccManager::createWebBrowser(
    HWND container, const RECT& rect, HostedWebBrowser::Events events, HRESULT* hrOut,
    int controlId) const {
  HRESULT ignored;
  HRESULT& hr = hrOut ? *hrOut : ignored;
  std::unique_ptr<HostedWebBrowser> host(new HostedWebBrowser());
  host->site_ = createSite(container);
  host->site_->setControlRect(rect);
  hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                        host->object_.putVoid());
  if (FAILED(hr)) return nullptr;
  IOleClientSite* clientSite = host->site_.get();
  if (FAILED(hr = host->object_->SetClientSite(clientSite))) return nullptr;
  // A container initialises a new control before it activates it.
  ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(host->object_.as(persist)) && FAILED(hr = persist->InitNew())) return nullptr;
  RECT position = rect;
  if (FAILED(hr = host->object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, container,
                                        &position)))
    return nullptr;
  if (FAILED(hr = host->object_.as(host->browser_))) return nullptr;

  ComPtr<IConnectionPointContainer> points;
  ComPtr<BrowserEventSink> sink;
  sink.attach(new BrowserEventSink(std::move(events)));
  if (SUCCEEDED(host->browser_.as(points)) &&
      SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, host->events_.put()))) {
    if (FAILED(host->events_->Advise(sink.get(), &host->cookie_))) host->events_.reset();
  }
  host->place(rect);
  if (controlId != 0) {
    if (HWND control = host->window()) ::SetWindowLongPtrW(control, GWLP_ID, controlId);
  }
  hr = S_OK;
  return host;
}

}  // namespace orv
