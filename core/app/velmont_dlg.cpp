#include "velmont_dlg.h"

#include <atomic>
#include <cstdlib>
#include <typeinfo>

#include "dialog_menu.h"
#include "Jornet.h"
#include "Kavrel.h"
#include "about_text.h"
#include "control_site.h"
#include "web_browser_host.h"
#include "core_command_handler.h"
#include "core_pipe_server.h"
#include "process_util.h"
#include "product.h"
#include "product_key.h"
#include "resource.h"
#include "script_events.h"
#include "start_rules.h"
#include "window_restore.h"

namespace orv::core {

namespace {

const char kConfigScript[] = ".\\Script\\CoreConfig.lua";
const char kTrayRunFunction[] = "OnTrayRunCore";

// The main dialog's window, for Lua's CallJsFunc on any thread.
std::atomic<HWND> g_mainWindow{nullptr};

std::wstring& versionTextStorage() {
  static std::wstring text;
  return text;
}

// Lua's CallJsFunc: the page is reached only on the dialog's thread, so the call is sent there;
// sending (not posting) keeps both texts valid until the page has them.
int CallJsFunc(const char* function, const char* argument) {
  SendMessageW(g_mainWindow.load(), WM_CORE_CALLJS, reinterpret_cast<WPARAM>(function),
               reinterpret_cast<LPARAM>(argument));
  return 1;
}

// How long the set-up waits for the entry page's document before it gives up quietly.
constexpr unsigned long kEntryDocumentWaitMs = 15000;

}  // namespace

void CVelmontDlg::FactoryRelease::operator()(luaFactory* factory) const { factory->Release(); }

const std::wstring& coreVersionText() { return versionTextStorage(); }

CVelmontDlg::CVelmontDlg(const std::vector<std::wstring>& tokens, UINT singleInstanceMessage,
                         orv::BrowserFactory browserFactory,
                         const orv::CCoreCustomOccManager& controls)
    : ModalDialog(IDD_VELMONT_DIALOG),
      tokens_(tokens),
      singleInstanceMessage_(singleInstanceMessage),
      browserFactory_(browserFactory),
      controls_(controls) {}

CVelmontDlg::~CVelmontDlg() {
  // The device-notification registrations go with the event forwarding.
  events_.reset();
  explorer_.detach();
  document_.reset();
  browser_.reset();
}

bool CVelmontDlg::ownKeyOption() const { return hasKeyOption(tokens_); }

INT_PTR CVelmontDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (singleInstanceMessage_ != 0 && message == singleInstanceMessage_) {
    OnSingleInstanceMessage(wParam, lParam);
    return FALSE;  // the default handling follows
  }
  switch (message) {
    case WM_CORE_CALLJS:
      JornetCallJsFunc(reinterpret_cast<const char*>(wParam),
                       reinterpret_cast<const char*>(lParam));
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_COMMAND:
      // A dialog's OK and Cancel end it: WM_CLOSE (the page's CoreQuit) arrives as Cancel.
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(hwnd_, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        orv::showAboutBox(hwnd_, IDD_ABOUTBOX,
                          {{IDC_ABOUT_VERSION, aboutVersionText(coreVersionText())}});
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      if (!IsIconic(hwnd_)) return FALSE;
      orv::paintMinimisedIcon(hwnd_, icon_);
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_DEVICECHANGE:
      if (!events_) return FALSE;
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, events_->onDeviceChange(wParam, lParam));
      return TRUE;
    case WM_TIMER:
      if (events_) events_->onTimer(wParam);
      return FALSE;  // the default handling follows
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_QUIT:
      // Only the pipe server sends it: the program ends at once, without tearing the dialog down.
      // Not by ending the dialog: the message may arrive inside a nested modal loop or an engine
      // call, which would run on (docs/architecture.md, "A program").
      std::exit(0);
    default:
      return FALSE;
  }
}

INT_PTR CVelmontDlg::OnInitDialog() {
  g_mainWindow.store(hwnd_);
  // Every failure of the window's set-up ends the program quietly, before anything was shown:
  // the dialog ends from here, and the program returns with exit code 0.
  if (!SetUp()) {
    EndDialog(hwnd_, kSetupFailed);
    return FALSE;
  }
  return TRUE;
}

bool CVelmontDlg::SetUp() {
  if (!CreateBrowser()) return false;
  orv::addAboutMenuItem(hwnd_, IDS_ABOUTBOX, IDM_ABOUTBOX);
  icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                        IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  // The configuration script and every relative path of the scripts start from here.
  SetCurrentDirectoryW(orv::moduleDirectory().c_str());
  versionTextStorage() = orv::readVersionText(orv::kProductId);
  ShowWindow(hwnd_, SW_HIDE);

  if (!CreateEngine()) return false;
  events_ = std::make_unique<ScriptEvents>(engine_);
  if (ownKeyOption() && !engine_->KavrelFunc(1, kTrayRunFunction, "true")) return false;
  if (!SizeWindowAndOpenEntryPage()) return false;
  if (!OpenJavaScriptBridge()) return false;
  events_->readCallbackNames();

  SetWindowTextW(hwnd_, orv::kProductName);
  SetClassLongPtrW(hwnd_, GCL_STYLE, GetClassLongPtrW(hwnd_, GCL_STYLE) | CS_DROPSHADOW);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, GetWindowLongPtrW(hwnd_, GWL_STYLE) | WS_MINIMIZEBOX);
  InvalidateRect(hwnd_, nullptr, TRUE);
  ShowWindow(hwnd_, SW_SHOW);
  browser_->activate();

  // Without a pipe the host still runs; only the notifier and updater cannot reach it.
  pipe_ = startCorePipeServer(std::make_unique<DefaultCoreCommandHandler>(hwnd_, engine_));
  StartNotifier();
  events_->startTimers(hwnd_);
  events_->resetDeviceState();
  if (IsWindow(hwnd_)) events_->registerDeviceNotifications(hwnd_);
  return true;
}

bool CVelmontDlg::CreateBrowser() {
  // The browser control of the template: without it there is no user interface at all.
  orv::BrowserOptions options;
  options.controlId = kBrowserControlId;
  options.navigateWithFlags = true;
  options.navigateFlags = orv::kEntryNavigateFlags;
  if (browserFactory_) browser_ = browserFactory_(hwnd_, controls_, options);
  if (!browser_) return false;
  orv::BrowserHost* browser = browser_.get();
  explorer_.attach(browser->window(), hwnd_, [browser] { return browser->activeObject(); });
  return true;
}

bool CVelmontDlg::CreateEngine() {
  luaFactory* factory = nullptr;
  DllGetClassFactoryObject(&factory);
  factory_.reset(factory);
  if (factory_) factory_->Createlua(&engine_);
  // A missing engine cannot run the configuration: the same quiet end as a failed load.
  return engine_ && engine_->InitCoreLuaEnv(kConfigScript) != 0;
}

bool CVelmontDlg::SizeWindowAndOpenEntryPage() {
  int width = 0, height = 0, captionWidth = 0, captionHeight = 0;
  const char* intType = typeid(int).name();
  if (!engine_->GetCoreGlobalVar(&width, "Width", intType, 0)) return false;
  if (!engine_->GetCoreGlobalVar(&height, "Height", intType, 0)) return false;
  if (!engine_->GetCoreGlobalVar(&captionWidth, "caption_width", intType, 0)) return false;
  if (!engine_->GetCoreGlobalVar(&captionHeight, "caption_height", intType, 0)) return false;
  explorer_.setCaptionSize(captionWidth, captionHeight);

  RECT client = {};
  GetClientRect(hwnd_, &client);
  SetWindowPos(hwnd_, nullptr, client.left, client.top, width, height, SWP_NOZORDER);
  browser_->place(RECT{client.left, client.top, client.left + width, client.top + height});
  // Centred on the screen (the dialog has no owner).
  RECT window = {};
  GetWindowRect(hwnd_, &window);
  const int w = window.right - window.left, h = window.bottom - window.top;
  SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  const char* textType = typeid(wchar_t*).name();
  wchar_t value[256] = {};
  std::wstring url;
  if (engine_->GetCoreGlobalVar(value, "EnterResdll", textType, 256))
    url = L"res://" + orv::moduleDirectory() + value;
  else if (engine_->GetCoreGlobalVar(value, "EnterHtml", textType, 256))
    url = orv::moduleDirectory() + value;
  entryUrl_ = url;
  if (url.empty()) return true;  // nothing to open
  return browser_->navigate(url);
}

bool CVelmontDlg::OpenJavaScriptBridge() {
  document_ = entryUrl_.empty() ? browser_->document()
                                : browser_->waitForDocument(entryUrl_, kEntryDocumentWaitMs);
  if (!document_ || JornetInitJsEnv(document_.get()) == 0) return false;
  engine_->DefFuncCharChar("CallJsFunc", &CallJsFunc, nullptr);
  return true;
}

void CVelmontDlg::StartNotifier() {
  const std::wstring folder = orv::moduleDirectory();
  if (folder.empty()) return;
  // Quoted: a folder with blanks must not start a shorter program path.
  orv::launchCommandLine(orv::quoteProgramPath(folder + orv::kNotifierFileName));
}

void CVelmontDlg::OnSingleInstanceMessage(WPARAM wParam, LPARAM lParam) {
  switch (singleInstanceAction(wParam, lParam, ownKeyOption(), IsIconic(hwnd_) != FALSE)) {
    case InstanceAction::EndDialog:
      EndDialog(hwnd_, 0);
      break;
    case InstanceAction::Restore:
      restoreMinimisedWindow(hwnd_);
      break;
    case InstanceAction::AskScriptThenRestore:
      if (engine_ && engine_->KavrelFunc(1, kTrayRunFunction, "true"))
        restoreMinimisedWindow(hwnd_);
      break;
    case InstanceAction::None:
      break;
  }
}

void CVelmontDlg::OnDestroy() {
  pipe_.stop();  // no command reaches the engine from here on
  engine_ = nullptr;
  factory_.reset();
  if (events_) events_->onDestroy(hwnd_);  // kills timer 1
  explorer_.detach();
  g_mainWindow.store(nullptr);
}

}  // namespace orv::core
