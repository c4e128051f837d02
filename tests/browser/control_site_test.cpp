#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "control_site.h"
#include "web_browser_host.h"

namespace orv {
namespace {

// A window.external stand-in that counts its references.
class CountingDispatch final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }
  LONG refs = 0;
};

class FakeKeys : public KeyStateSource {
 public:
  bool controlDown() const override { return control; }
  bool asyncKeyDown(int vk) const override { return vk == down; }
  bool control = false;
  int down = 0;
};

template <typename T>
ComPtr<T> query(IUnknown* from, REFIID iid) {
  ComPtr<T> out;
  EXPECT_EQ(from->QueryInterface(iid, out.putVoid()), S_OK);
  return out;
}

class ControlSiteTest : public testing::Test {
 protected:
  void SetUp() override {
    keys_ = std::make_shared<FakeKeys>();
    CCoreCustomOccManager manager(&external_, keys_);
    site_ = manager.createSite(nullptr);
    handler_ =
        query<IDocHostUIHandler>(static_cast<IOleClientSite*>(site_.get()), IID_IDocHostUIHandler);
    showUi_ =
        query<IDocHostShowUI>(static_cast<IOleClientSite*>(site_.get()), __uuidof(IDocHostShowUI));
  }

  CountingDispatch external_;
  std::shared_ptr<FakeKeys> keys_;
  ComPtr<CCoreControlSite> site_;
  ComPtr<IDocHostUIHandler> handler_;
  ComPtr<IDocHostShowUI> showUi_;
};

TEST_F(ControlSiteTest, DocumentHostInterfacesShareTheSitesIdentityAndCount) {
  IUnknown* unknown = static_cast<IOleClientSite*>(site_.get());
  ComPtr<IUnknown> viaHandler = query<IUnknown>(handler_.get(), IID_IUnknown);
  ComPtr<IUnknown> viaShowUi = query<IUnknown>(showUi_.get(), IID_IUnknown);
  EXPECT_EQ(viaHandler.get(), unknown);
  EXPECT_EQ(viaShowUi.get(), unknown);
  for (REFIID iid :
       {IID_IOleClientSite, IID_IOleInPlaceSite, IID_IOleWindow, IID_IOleInPlaceFrame}) {
    ComPtr<IUnknown> i = query<IUnknown>(handler_.get(), iid);
    EXPECT_TRUE(i);
  }
  ComPtr<IUnknown> none;
  EXPECT_EQ(handler_->QueryInterface(IID_IDispatch, none.putVoid()), E_NOINTERFACE);
  EXPECT_FALSE(none);
  // AddRef through one interface is seen through the others.
  const ULONG before = handler_->AddRef();
  EXPECT_EQ(showUi_->AddRef(), before + 1);
  showUi_->Release();
  handler_->Release();
}

TEST_F(ControlSiteTest, HostInfoAndTheFixedAnswers) {
  DOCHOSTUIINFO info = {};
  info.cbSize = sizeof(info);
  info.dwDoubleClick = 7;
  ASSERT_EQ(handler_->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x4000Du);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  POINT pt = {1, 2};
  EXPECT_EQ(handler_->ShowContextMenu(CONTEXT_MENU_DEFAULT, &pt, nullptr, nullptr), S_OK);
  EXPECT_EQ(handler_->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(handler_->HideUI(), S_OK);
  EXPECT_EQ(handler_->UpdateUI(), S_OK);
  EXPECT_EQ(handler_->EnableModeless(TRUE), E_NOTIMPL);
  EXPECT_EQ(handler_->OnDocWindowActivate(TRUE), E_NOTIMPL);
  EXPECT_EQ(handler_->OnFrameWindowActivate(TRUE), E_NOTIMPL);
  EXPECT_EQ(handler_->ResizeBorder(nullptr, nullptr, TRUE), E_NOTIMPL);
  LPOLESTR key = nullptr;
  EXPECT_EQ(handler_->GetOptionKeyPath(&key, 0), E_NOTIMPL);
  IDropTarget* drop = nullptr;
  EXPECT_EQ(handler_->GetDropTarget(nullptr, &drop), E_NOTIMPL);
  LPWSTR url = nullptr;
  EXPECT_EQ(handler_->TranslateUrl(0, const_cast<LPWSTR>(L"x"), &url), E_NOTIMPL);
  IDataObject* data = nullptr;
  EXPECT_EQ(handler_->FilterDataObject(nullptr, &data), E_NOTIMPL);
  EXPECT_EQ(showUi_->ShowHelp(nullptr, nullptr, 0, 0, pt, nullptr), S_OK);
}

TEST_F(ControlSiteTest, ExternalIsTheProgramsObjectWithOneReferenceAdded) {
  const LONG before = external_.refs;
  IDispatch* out = nullptr;
  ASSERT_EQ(handler_->GetExternal(&out), S_OK);
  EXPECT_EQ(out, &external_);
  EXPECT_EQ(external_.refs, before + 1);
  out->Release();
}

TEST_F(ControlSiteTest, ControlWithOPOrNIsSwallowed) {
  MSG msg = {};
  msg.message = WM_KEYDOWN;
  keys_->control = true;
  for (int vk : {'O', 'P', 'N'}) {
    keys_->down = vk;
    EXPECT_EQ(handler_->TranslateAccelerator(&msg, nullptr, 0), S_OK) << char(vk);
  }
  keys_->down = 'S';
  EXPECT_EQ(handler_->TranslateAccelerator(&msg, nullptr, 0), S_FALSE);
  keys_->down = 'O';
  keys_->control = false;
  EXPECT_EQ(handler_->TranslateAccelerator(&msg, nullptr, 0), S_FALSE);
  keys_->control = true;
  msg.message = WM_KEYUP;
  EXPECT_EQ(handler_->TranslateAccelerator(&msg, nullptr, 0), S_FALSE);
}

// A page alert: the box belongs to the window the browser names and has no caption.
TEST_F(ControlSiteTest, AlertIsAMessageBoxWithAnEmptyCaption) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_TRUE(owner);
  std::atomic<bool> seen{false};
  std::wstring caption = L"unread", text;
  HWND boxOwner = nullptr;
  std::thread closer([&] {
    for (int i = 0; i < 200 && !seen; ++i) {
      Sleep(50);
      HWND box = FindWindowW(L"#32770", nullptr);
      if (!box) continue;
      wchar_t buffer[256] = {};
      GetWindowTextW(box, buffer, 256);
      caption = buffer;
      GetDlgItemTextW(box, 0xFFFF, buffer, 256);
      text = buffer;
      boxOwner = GetWindow(box, GW_OWNER);
      seen = true;
      SendMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
    }
  });
  LRESULT result = 0;
  EXPECT_EQ(showUi_->ShowMessage(owner, const_cast<LPOLESTR>(L"Hello from the page"),
                                 const_cast<LPOLESTR>(L"Browser caption"), MB_OKCANCEL, nullptr, 0,
                                 &result),
            S_OK);
  closer.join();
  DestroyWindow(owner);
  ASSERT_TRUE(seen) << "no message box appeared";
  EXPECT_EQ(caption, L"");
  EXPECT_EQ(text, L"Hello from the page");
  EXPECT_EQ(boxOwner, owner);
  EXPECT_EQ(result, IDCANCEL);
}

TEST(WebBrowserHosting, TheRealControlIsHostedInAWindow) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_TRUE(parent);
  CountingDispatch external;
  {
    CCoreCustomOccManager manager(&external);
    HRESULT hr = S_OK;
    int documentCompletes = 0;
    auto browser = manager.createWebBrowser(parent, RECT{0, 0, 320, 200},
                                            {nullptr, [&] { ++documentCompletes; }}, &hr);
    if (!browser) {
      DestroyWindow(parent);
      OleUninitialize();
      GTEST_SKIP() << "this platform cannot create the WebBrowser control (hr 0x" << std::hex << hr
                   << ")";
    }
    HWND window = browser->window();
    EXPECT_TRUE(window);
    EXPECT_TRUE(IsChild(parent, window));
    browser->place(RECT{10, 20, 330, 220});
    RECT r = {};
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 200);
    // Without an HTML engine there may be no document; with one there is.
    browser->navigate2(L"about:blank", 14);
    (void)browser->document();
  }
  DestroyWindow(parent);
  OleUninitialize();
}

// The programs' browser seam over the real control: the control id each program gives its browser,
// and the bounded wait for the entry page's document, which Wine (without an HTML engine) never
// gives.
TEST(WebBrowserHosting, TheProgramsBrowserCarriesItsControlIdAndWaitsForItsPageBounded) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_TRUE(parent);
  CountingDispatch external;
  {
    CCoreCustomOccManager manager(&external);
    for (int id : {1000, 1002}) {
      BrowserOptions options;
      options.controlId = id;
      options.navigateWithFlags = id == 1000;
      std::unique_ptr<BrowserHost> host = createWebBrowserHost(parent, manager, options);
      if (!host) {
        DestroyWindow(parent);
        OleUninitialize();
        GTEST_SKIP() << "this platform cannot create the WebBrowser control";
      }
      ASSERT_TRUE(host->window());
      EXPECT_EQ(GetDlgCtrlID(host->window()), id);
      host->place(RECT{0, 0, 320, 200});
      EXPECT_TRUE(host->navigate(L"C:\\no such folder\\index.htm"));
      const ULONGLONG start = GetTickCount64();
      ComPtr<IDispatch> document = host->waitForDocument(L"C:\\no such folder\\index.htm", 1500);
      // A page that never loads gives no document once the bound has passed; a document of
      // another address (an error page) does not count as the page.
      EXPECT_FALSE(document);
      EXPECT_GE(GetTickCount64() - start, 1400u);
      host->activate();  // harmless without a document
    }
  }
  DestroyWindow(parent);
  OleUninitialize();
}

}  // namespace
}  // namespace orv
