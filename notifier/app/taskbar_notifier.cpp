#include "taskbar_notifier.h"

#include <cwchar>

#include "resource.h"

namespace orv::notifier {

const wchar_t CTaskbarNotifier::kCheckBoxText[] = L"是否继续？";
const wchar_t CTaskbarNotifier::kClassName[] = L"CTaskbarNotifier";

namespace {
constexpr DWORD kCheckBoxStyle = WS_CHILD | WS_VISIBLE | BS_CHECKBOX;  // 0x50000002
constexpr RECT kCheckBoxRect = {80, 120, 230, 160};
}  // namespace

CTaskbarNotifier::~CTaskbarNotifier() {
  // Normally gone with its parent dialog already.
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

LRESULT CALLBACK CTaskbarNotifier::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool CTaskbarNotifier::Create(HWND parent) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof(cls);
  if (!GetClassInfoExW(instance, kClassName, &cls)) {
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = &CTaskbarNotifier::WindowProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = kClassName;
    if (!RegisterClassExW(&cls)) return false;
  }
  hwnd_ =
      CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, parent, nullptr, instance, nullptr);
  if (!hwnd_) return false;
  checkBox_ = CreateWindowExW(
      0, L"BUTTON", kCheckBoxText, kCheckBoxStyle, kCheckBoxRect.left, kCheckBoxRect.top,
      kCheckBoxRect.right - kCheckBoxRect.left, kCheckBoxRect.bottom - kCheckBoxRect.top, hwnd_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCheckBoxId)), instance, nullptr);
  if (checkBox_) SendMessageW(checkBox_, BM_SETCHECK, BST_UNCHECKED, 0);

  LoadSkin();
  CreateTextFont();
  textColor_ = RGB(0, 0, 0);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  textRect_ = toastTextRect(skinWidth_, skinHeight_);
  return true;
}

void CTaskbarNotifier::LoadSkin() {
  skin_.reset(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SKIN), IMAGE_BITMAP, 0, 0,
                         LR_CREATEDIBSECTION));
  BITMAP info = {};
  if (!skin_ || !GetObjectW(skin_.get(), sizeof(info), &info)) return;  // size stays 0
  skinWidth_ = info.bmWidth;
  skinHeight_ = info.bmHeight;
}

void CTaskbarNotifier::CreateTextFont() {
  // "Arial" at 9 points on the screen, then rebuilt plain: normal weight, no italic, no underline.
  LOGFONTW font = {};
  {
    orv::ScopedWindowDC screen(nullptr);
    font.lfHeight = -MulDiv(90, GetDeviceCaps(screen.get(), LOGPIXELSY), 720);
  }
  font.lfCharSet = DEFAULT_CHARSET;
  std::wcscpy(font.lfFaceName, L"Arial");
  orv::ScopedGdiObject pointFont(CreateFontIndirectW(&font));
  if (!pointFont) return;
  LOGFONTW rebuilt = {};
  GetObjectW(pointFont.get(), sizeof(rebuilt), &rebuilt);
  rebuilt.lfWeight = FW_NORMAL;
  rebuilt.lfItalic = FALSE;
  rebuilt.lfUnderline = FALSE;
  font_.reset(CreateFontIndirectW(&rebuilt));
}

}  // namespace orv::notifier
