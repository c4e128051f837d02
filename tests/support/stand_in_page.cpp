#include "stand_in_page.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control_site.h"
#include "jscript_host.h"
#include "process_util.h"
#include "test_files.h"
#include "com_object.h"
#include "dispatch_call.h"

namespace orv::test {

namespace {

void appendLine(const std::wstring& file, const std::wstring& line) {
  appendFile(moduleDirectory() + file, toUtf8(line) + "\n");
}

// The code of every <script> element of an HTML text, in order.
std::wstring scriptCode(const std::wstring& html) {
  std::wstring code;
  std::size_t at = 0;
  for (;;) {
    const std::size_t open = html.find(L"<script", at);
    if (open == std::wstring::npos) break;
    const std::size_t start = html.find(L'>', open);
    if (start == std::wstring::npos) break;
    const std::size_t end = html.find(L"</script>", start);
    if (end == std::wstring::npos) break;
    code += html.substr(start + 1, end - start - 1) + L"\n";
    at = end;
  }
  return code;
}

// With ORV_STARTUP_TRACE naming a file, each step of the page's start is appended to it with the
// milliseconds since the process was created (for the start-up benchmark).
void traceStartup(const char* step) {
  wchar_t file[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"ORV_STARTUP_TRACE", file, MAX_PATH) == 0) return;
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  const double ms = static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
  std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::app);
  out << step << " " << ms << "\n";
}

// The page's `host` object, for pages of the test builds: log(text) appends a line to
// "page.log" in the program folder, after(ms, fn) calls the script function fn once, later, on the
// dialog's thread (as a browser's setTimeout does).
class PageHost final : public ComObject<PageHost, ComLifetime::kDeleteOnLastRelease, IDispatch> {
 public:
  ~PageHost() override { cancelAll(); }

  void cancelAll() {
    for (const auto& timer : timers()) KillTimer(nullptr, timer.first);
    timers().clear();
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = wcscmp(names[i], L"log") == 0     ? kLog
               : wcscmp(names[i], L"after") == 0 ? kAfter
                                                 : DISPID_UNKNOWN;
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (!params) return E_INVALIDARG;
    // Arguments arrive last first.
    if (id == kLog && params->cArgs == 1) {
      ScopedVariant text;
      if (FAILED(VariantChangeType(text.put(), &params->rgvarg[0], 0, VT_BSTR)))
        return E_INVALIDARG;
      appendLine(L"page.log", text.ref().bstrVal ? text.ref().bstrVal : L"");
      return S_OK;
    }
    if (id == kAfter && params->cArgs == 2) {
      ScopedVariant ms;
      const VARIANT& fn = params->rgvarg[0];
      if (FAILED(VariantChangeType(ms.put(), &params->rgvarg[1], 0, VT_I4)) ||
          fn.vt != VT_DISPATCH || !fn.pdispVal)
        return E_INVALIDARG;
      const UINT_PTR timer =
          SetTimer(nullptr, 0, static_cast<UINT>(ms.ref().lVal), &PageHost::onTimer);
      if (!timer) return E_FAIL;
      timers()[timer] = ComPtr<IDispatch>(fn.pdispVal);
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  static constexpr DISPID kLog = 1;
  static constexpr DISPID kAfter = 2;

  // Thread timers carry no context: the functions waiting for them, by timer id.
  static std::map<UINT_PTR, ComPtr<IDispatch>>& timers() {
    static std::map<UINT_PTR, ComPtr<IDispatch>> pending;
    return pending;
  }
  static void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    const auto found = timers().find(id);
    if (found == timers().end()) return;
    ComPtr<IDispatch> fn = found->second;
    timers().erase(found);
    std::vector<ScopedVariant> none;
    if (FAILED(invokeInOrder(fn.get(), DISPID_VALUE, DISPATCH_METHOD, none)))
      appendLine(L"page-errors.log", L"a function called later failed");
  }
};

class StandInPage;
StandInPage* g_page = nullptr;  // the dialog has one browser

class StandInPage final : public BrowserHost {
 public:
  StandInPage(HWND dialog, IDispatch* external, const BrowserOptions& options)
      : external_(external), documentComplete_(options.documentComplete) {
    traceStartup("browser");  // the program's start-up checks are done, the dialog is being made
    // The window the dialog's wrapper filters for, where the browser's window would be.
    window_ =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 0, 0, 0, dialog,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(options.controlId)),
                        GetModuleHandleW(nullptr), nullptr);
    subclassWindow();
    g_page = this;
  }
  ~StandInPage() override {
    if (timer_) KillTimer(nullptr, timer_);
    if (host_) host_->cancelAll();
    g_page = nullptr;
  }

  HWND window() const override { return window_; }
  void place(const RECT& rect) override {
    SetWindowPos(window_, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  bool navigate(const std::wstring& url) override {
    traceStartup("navigate");  // the configuration has been run
    appendLine(L"navigate.log", url);
    if (url.rfind(L"res://", 0) == 0) return true;
    std::ifstream in(std::filesystem::path(url), std::ios::binary);
    if (!in) return true;
    std::ostringstream bytes;
    bytes << in.rdbuf();

    script_ = std::make_unique<test::JScriptHost>();
    if (!script_->ok()) return false;
    script_->addNamedObject(L"external", external_);
    host_.attach(new PageHost);
    script_->addNamedObject(L"host", host_.get());
    if (FAILED(script_->run(L"var window = { external: external };\n" +
                            scriptCode(fromUtf8(bytes.str())))))
      appendLine(L"page-errors.log", script_->lastError());
    document_ = script_->makeDocument();
    // The page finishes loading after the dialog's set-up, in its message loop.
    timer_ = SetTimer(nullptr, 0, 0, &StandInPage::onLoadTimer);
    return true;
  }

  ComPtr<IDispatch> document() override { return document_; }

 private:
  static void CALLBACK onLoadTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!g_page || g_page->timer_ != id) return;
    g_page->timer_ = 0;
    traceStartup("onload");
    g_page->callPage(L"onload", {});
    if (g_page->documentComplete_) g_page->documentComplete_();
  }

  void callPage(const std::wstring& function, const std::vector<std::wstring>& args) {
    if (script_ && script_->call(function, args) == DISP_E_EXCEPTION)
      appendLine(L"page-errors.log", function + L": " + script_->lastError());
  }

  void subclassWindow() {
    previous_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StandInPage::windowProc)));
  }

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    StandInPage* page = g_page;
    if (page && message == WM_KEYDOWN) page->callPage(L"onkeydown", {std::to_wstring(wParam)});
    if (page && message == WM_LBUTTONDOWN)
      page->callPage(L"onmousedown",
                     {std::to_wstring(LOWORD(lParam)), std::to_wstring(HIWORD(lParam))});
    return page ? CallWindowProcW(page->previous_, hwnd, message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
  }

  IDispatch* external_;
  std::function<void()> documentComplete_;
  HWND window_ = nullptr;
  WNDPROC previous_ = nullptr;
  std::unique_ptr<test::JScriptHost> script_;
  ComPtr<PageHost> host_;
  ComPtr<IDispatch> document_;
  UINT_PTR timer_ = 0;
};

}  // namespace

std::unique_ptr<BrowserHost> createStandInPage(HWND dialog, const CCoreCustomOccManager& controls,
                                               const BrowserOptions& options) {
  return std::make_unique<StandInPage>(dialog, controls.external(), options);
}

}  // namespace orv::test
