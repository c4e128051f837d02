#include "brenlow_dlg.h"

#include "control_site.h"
#include "dialog_menu.h"
#include "product.h"
#include "resource.h"
#include "start_options.h"

namespace orv::updater {

namespace {

// The About box's version line.
const wchar_t kAboutText[] = L"Brenlow，1.0 版";

}  // namespace

CBrenlowDlg::CBrenlowDlg(const std::vector<std::wstring>& tokens, UINT quitMessage,
                         BrowserFactory browserFactory, const CCoreCustomOccManager& controls,
                         std::wstring pageAddress, UpdateFlow& flow)
    : ModalDialog(IDD_BRENLOW_DIALOG),
      tokens_(tokens),
      quitMessage_(quitMessage),
      browserFactory_(browserFactory),
      controls_(controls),
      pageAddress_(std::move(pageAddress)),
      flow_(flow) {}

CBrenlowDlg::~CBrenlowDlg() {
  explorer_.detach();
  jsCall_.detach();
  document_.reset();
  browser_.reset();
}

INT_PTR CBrenlowDlg::OnInitDialog() {
  if (!SetUp()) {
    // Nothing was shown: the dialog ends, and the program with it.
    EndDialog(hwnd_, kSetupFailed);
  }
  return FALSE;  // focus is left where the set-up put it
}

INT_PTR CBrenlowDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (quitMessage_ != 0 && message == quitMessage_) {
    if (wParam == 1 && !HoldCloseForSetup()) EndDialog(hwnd_, 0);
    return FALSE;  // the default handling follows
  }
  switch (message) {
    case WM_NCPAINT:
      // The template makes the window visible; it stays hidden until the flow shows it.
      ShowWindow(hwnd_, visible_.load() ? SW_SHOW : SW_HIDE);
      return FALSE;
    case WM_WINDOWPOSCHANGING:
      // The dialog manager and the browser's activation show the window too; until the show
      // operation no show gets through, so a run that never needs the user is never seen.
      if (!visible_.load() && lParam)
        reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
      return FALSE;
    case WM_UPDATER_CALLJS:
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT,
                        CallPageFunction(reinterpret_cast<const wchar_t*>(wParam),
                                         reinterpret_cast<const wchar_t*>(lParam)));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) return TRUE;  // Enter never closes the window
      if (LOWORD(wParam) == IDCANCEL) {
        if (!HoldCloseForSetup()) EndDialog(hwnd_, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        showAboutBox(hwnd_, IDD_ABOUTBOX, {{IDC_ABOUT_NAME, kAboutText}});
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      if (!IsIconic(hwnd_)) return FALSE;
      paintMinimisedIcon(hwnd_, icon_);
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_DESTROY:
      explorer_.detach();
      return FALSE;
    default:
      return FALSE;
  }
}

bool CBrenlowDlg::HoldCloseForSetup() {
  if (!flow_.holdCloseForSetup()) return false;
  CallPageFunction(L"ShowTitle", L"waitsetup");
  return true;
}

bool CBrenlowDlg::SetUp() {
  addAboutMenuItem(hwnd_, IDS_ABOUTBOX, IDM_ABOUTBOX);
  icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                        IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  pageReady_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!pageReady_) return false;

  // Without a browser there is no user interface at all.
  if (!CreateBrowser()) return false;
  SizeAndCentre();
  if (!browser_->navigate(pageAddress_)) return false;

  // The script caller needs the page's own document, not the blank one the control starts with:
  // it is taken once the control shows the page's address or has reported the page complete.
  // A page that never comes cannot ask the user anything: the program then ends unseen.
  const ULONGLONG deadline = GetTickCount64() + kPageDocumentWaitMs;
  for (;;) {
    document_ = browser_->waitForDocument(pageAddress_, 50);
    if (!document_ && WaitForSingleObject(pageReady_.get(), 0) == WAIT_OBJECT_0)
      document_ = browser_->document();
    if (document_ || GetTickCount64() >= deadline) break;
  }
  if (!document_ || !jsCall_.attach(document_.get())) return false;

  SetWindowTextW(hwnd_, kProductName);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, GetWindowLongPtrW(hwnd_, GWL_STYLE) | WS_MINIMIZEBOX);
  browser_->activate();

  flow_.start(*this);
  return true;
}

bool CBrenlowDlg::CreateBrowser() {
  BrowserOptions options;
  options.controlId = IDC_BROWSER;
  options.navigateWithFlags = false;  // Navigate with the page address alone
  HANDLE ready = pageReady_.get();
  options.documentComplete = [ready] { SetEvent(ready); };
  if (browserFactory_) browser_ = browserFactory_(hwnd_, controls_, options);
  if (!browser_) return false;
  BrowserHost* browser = browser_.get();
  explorer_.attach(browser->window(), hwnd_, [browser] { return browser->activeObject(); });
  return true;
}

void CBrenlowDlg::SizeAndCentre() {
  SetWindowPos(hwnd_, nullptr, 0, 0, kPageWidth, kPageHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  browser_->place(RECT{0, 0, kPageWidth, kPageHeight});
  // The page covers the template's OK and Cancel buttons.
  if (HWND browser = browser_->window())
    SetWindowPos(browser, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RECT window = {};
  GetWindowRect(hwnd_, &window);
  const int w = window.right - window.left, h = window.bottom - window.top;
  SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBrenlowDlg::show(int showCode) {
  if (showCode != kShowCode) return;
  visible_.store(true);
  RECT window = {};
  GetWindowRect(hwnd_, &window);
  const WindowPlace place =
      shownWindowPlace(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                       window.right - window.left, window.bottom - window.top);
  SetWindowPos(hwnd_, HWND_TOPMOST, place.x, place.y, 0, 0,
               SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  ShowWindow(hwnd_, SW_SHOW);
}

LRESULT CBrenlowDlg::callPage(const std::wstring& function, const std::wstring& argument) {
  // Sent, not posted: both texts stay valid until the page has them.
  return SendMessageW(hwnd_, WM_UPDATER_CALLJS, reinterpret_cast<WPARAM>(function.c_str()),
                      reinterpret_cast<LPARAM>(argument.c_str()));
}

LRESULT CBrenlowDlg::CallPageFunction(const wchar_t* function, const wchar_t* argument) {
  if (!function) return 1;
  ScopedVariant result;
  if (!jsCall_.call(function, {argument ? argument : L""}, &result)) return 1;
  if (result.type() == VT_BOOL) return result.ref().boolVal != VARIANT_FALSE ? 1 : 0;
  return 1;
}

}  // namespace orv::updater
