// The core host's test build: the shipped application and dialog code with a stand-in page in
// place of the WebBrowser control, which this system cannot render.
//
// The stand-in page reads the file the dialog navigates to and runs the code of its <script>
// elements in the platform's JScript engine, with `window.external` set to the application's
// external object, exactly the object a rendered page gets from the document host. Its document
// offers that engine's global object as its Script property, as a browser document does, so
// Jornet calls the page's functions. Once the dialog's message loop runs, the page's `onload`
// function is called (when it has one), and key presses that reach the browser's window go to
// its `onkeydown(code)`.
//
// Every navigation is appended to "navigate.log" in the program folder (UTF-8, one line each).
// "res://" addresses and unreadable files give no document, like the WebBrowser control here.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "browser/control_site.h"
#include "jscript_host.h"
#include "process_util.h"
#include "velmont_app.h"

namespace {

std::string toUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring fromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

void appendLine(const std::wstring& file, const std::wstring& line) {
  std::ofstream out(std::filesystem::path(orv::moduleDirectory() + file), std::ios::binary | std::ios::app);
  out << toUtf8(line) << "\n";
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

class StandInPage;
StandInPage* g_page = nullptr;  // the dialog has one browser

class StandInPage final : public orv::BrowserHost {
 public:
  StandInPage(HWND dialog, IDispatch* external) : external_(external) {
    // The window the dialog's wrapper filters for, where the browser's window would be.
    window_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 0, 0, 0, dialog,
                              reinterpret_cast<HMENU>(1000), GetModuleHandleW(nullptr), nullptr);
    subclassWindow();
    g_page = this;
  }
  ~StandInPage() override {
    if (timer_) KillTimer(nullptr, timer_);
    g_page = nullptr;
  }

  HWND window() const override { return window_; }
  void place(const RECT& rect) override {
    SetWindowPos(window_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }

  bool navigate(const std::wstring& url) override {
    appendLine(L"navigate.log", url);
    if (url.rfind(L"res://", 0) == 0) return true;
    std::ifstream in(std::filesystem::path(url), std::ios::binary);
    if (!in) return true;
    std::ostringstream bytes;
    bytes << in.rdbuf();

    script_ = std::make_unique<orv::test::JScriptHost>();
    if (!script_->ok()) return false;
    script_->addNamedObject(L"external", external_);
    if (FAILED(script_->run(L"var window = { external: external };\n" + scriptCode(fromUtf8(bytes.str())))))
      appendLine(L"page-errors.log", script_->lastError());
    document_ = script_->makeDocument();
    // The page finishes loading after the dialog's set-up, in its message loop.
    timer_ = SetTimer(nullptr, 0, 0, &StandInPage::onLoadTimer);
    return true;
  }

  orv::ComPtr<IDispatch> document() override { return document_; }

 private:
  static void CALLBACK onLoadTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!g_page || g_page->timer_ != id) return;
    g_page->timer_ = 0;
    g_page->callPage(L"onload", {});
  }

  void callPage(const std::wstring& function, const std::vector<std::wstring>& args) {
    if (script_ && script_->call(function, args) == DISP_E_EXCEPTION)
      appendLine(L"page-errors.log", function + L": " + script_->lastError());
  }

  void subclassWindow() {
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StandInPage::windowProc)));
  }

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    StandInPage* page = g_page;
    if (page && message == WM_KEYDOWN) page->callPage(L"onkeydown", {std::to_wstring(wParam)});
    if (page && message == WM_LBUTTONDOWN)
      page->callPage(L"onmousedown", {std::to_wstring(LOWORD(lParam)), std::to_wstring(HIWORD(lParam))});
    return page ? CallWindowProcW(page->previous_, hwnd, message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
  }

  IDispatch* external_;
  HWND window_ = nullptr;
  WNDPROC previous_ = nullptr;
  std::unique_ptr<orv::test::JScriptHost> script_;
  orv::ComPtr<IDispatch> document_;
  UINT_PTR timer_ = 0;
};

std::unique_ptr<orv::BrowserHost> createStandInPage(HWND dialog, const orv::CCoreCustomOccManager& controls) {
  return std::make_unique<StandInPage>(dialog, controls.external());
}

CVelmontApp theApp(&createStandInPage);

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  theApp.InitInstance();
  return 0;
}
