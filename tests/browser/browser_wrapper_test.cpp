// The wrapper's pre-translation through a real message loop: a main window, a "browser" child
// and the page's window inside it, messages posted and pumped as the system delivers them.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "browser_wrapper.h"

namespace orv {
namespace {

struct Seen {
  std::vector<UINT> pageMessages;
  std::vector<WPARAM> pageKeys;
  int captionPresses = 0;
  LPARAM captionLParam = 0;
};
Seen* g_seen = nullptr;

LRESULT CALLBACK mainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
    ++g_seen->captionPresses;
    g_seen->captionLParam = lParam;
    return 0;  // no modal move loop in a test
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK pageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN || msg == WM_MOUSEWHEEL || msg == WM_LBUTTONDOWN) {
    g_seen->pageMessages.push_back(msg);
    if (msg == WM_KEYDOWN) g_seen->pageKeys.push_back(wParam);
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class BrowserWrapperTest : public testing::Test {
 protected:
  void SetUp() override {
    g_seen = &seen_;
    WNDCLASSW main = {};
    main.lpfnWndProc = mainProc;
    main.lpszClassName = L"OrvTestMain";
    RegisterClassW(&main);
    WNDCLASSW page = {};
    page.lpfnWndProc = pageProc;
    page.lpszClassName = L"OrvTestPage";
    RegisterClassW(&page);
    main_ = CreateWindowExW(0, L"OrvTestMain", L"main", WS_POPUP, 50, 60, 1000, 600, nullptr,
                            nullptr, nullptr, nullptr);
    browser_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 1000, 600, main_,
                               nullptr, nullptr, nullptr);
    page_ = CreateWindowExW(0, L"OrvTestPage", L"", WS_CHILD | WS_VISIBLE, 0, 0, 1000, 600,
                            browser_, nullptr, nullptr, nullptr);
    ASSERT_TRUE(main_ && browser_ && page_);
  }
  void TearDown() override {
    DestroyWindow(main_);
    g_seen = nullptr;
  }
  // Delivers everything posted so far through an ordinary message loop.
  void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  void setControl(bool down) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_CONTROL] = down ? 0x80 : 0;
    SetKeyboardState(state);
  }
  // Puts the cursor on a point of the browser's client area; false where the platform cannot.
  bool cursorAt(int x, int y) {
    POINT p = {x, y};
    ClientToScreen(browser_, &p);
    SetCursorPos(p.x, p.y);
    POINT now = {};
    GetCursorPos(&now);
    return now.x == p.x && now.y == p.y;
  }

  Seen seen_;
  HWND main_ = nullptr, browser_ = nullptr, page_ = nullptr;
};

TEST_F(BrowserWrapperTest, BlockedKeysNeverReachThePage) {
  BrowserWrapper wrapper(coreKeyPolicy(), DragArea{{0, 0, 0, 0}, {}});
  wrapper.attach(browser_, main_);
  for (WPARAM vk : std::vector<WPARAM>{VK_RETURN, VK_ESCAPE, VK_F1, VK_F5, 'A', VK_TAB, VK_F2})
    PostMessageW(page_, WM_KEYDOWN, vk, 0);
  pump();
  EXPECT_EQ(seen_.pageKeys, (std::vector<WPARAM>{'A', VK_TAB, VK_F2}));
}

TEST_F(BrowserWrapperTest, UpdaterPolicyPassesEnterAndEscape) {
  BrowserWrapper wrapper(updaterKeyPolicy(), DragArea{{0, 0, 0, 0}, {}});
  wrapper.attach(browser_, main_);
  for (WPARAM vk : std::vector<WPARAM>{VK_RETURN, VK_ESCAPE, VK_F1, VK_F5})
    PostMessageW(page_, WM_KEYDOWN, vk, 0);
  pump();
  EXPECT_EQ(seen_.pageKeys, (std::vector<WPARAM>{VK_RETURN, VK_ESCAPE, VK_F1}));
}

TEST_F(BrowserWrapperTest, ControlWheelIsDroppedPlainWheelPasses) {
  BrowserWrapper wrapper(coreKeyPolicy(), DragArea{{0, 0, 0, 0}, {}});
  wrapper.attach(browser_, main_);
  setControl(true);
  PostMessageW(page_, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, 120), 0);
  pump();
  setControl(false);
  PostMessageW(page_, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
  pump();
  EXPECT_EQ(seen_.pageMessages, (std::vector<UINT>{WM_MOUSEWHEEL}));
}

TEST_F(BrowserWrapperTest, OtherWindowsAreLeftAlone) {
  BrowserWrapper wrapper(coreKeyPolicy(), DragArea{{0, 0, 0, 0}, {}});
  HWND other = CreateWindowExW(0, L"OrvTestPage", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
  wrapper.attach(browser_, main_);
  PostMessageW(other, WM_KEYDOWN, VK_F5, 0);
  pump();
  wrapper.detach();
  PostMessageW(page_, WM_KEYDOWN, VK_F5, 0);
  pump();
  DestroyWindow(other);
  EXPECT_EQ(seen_.pageKeys, (std::vector<WPARAM>{VK_F5, VK_F5}));
}

TEST_F(BrowserWrapperTest, PressInTheCaptionBandMovesTheWindowExceptOnTheButtons) {
  BrowserWrapper wrapper(coreKeyPolicy(), DragArea{{0, 0, 0, 0}, {{720, 0, 900, 27}}});
  wrapper.setCaptionSize(901, 11);
  wrapper.attach(browser_, main_);
  EXPECT_EQ(wrapper.captionWidth(), 901);
  EXPECT_EQ(wrapper.captionHeight(), 11);
  if (!cursorAt(800, 10)) GTEST_SKIP() << "the cursor cannot be placed on this display";
  PostMessageW(page_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(800, 10));
  pump();
  EXPECT_EQ(seen_.captionPresses, 0);
  EXPECT_EQ(seen_.pageMessages, (std::vector<UINT>{WM_LBUTTONDOWN}));

  ASSERT_TRUE(cursorAt(720, 10));
  PostMessageW(page_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(720, 10));
  pump();
  EXPECT_EQ(seen_.captionPresses, 1);
  EXPECT_EQ(seen_.captionLParam, MAKELPARAM(720, 10));
  EXPECT_EQ(seen_.pageMessages.size(), 1u);  // the press itself was dropped

  // Below the band: an ordinary click on the page.
  ASSERT_TRUE(cursorAt(300, 40));
  PostMessageW(page_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 40));
  pump();
  EXPECT_EQ(seen_.captionPresses, 1);
  EXPECT_EQ(seen_.pageMessages.size(), 2u);
}

}  // namespace
}  // namespace orv
