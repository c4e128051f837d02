// The single-instance parts shared by the programs: the mutex, the registered message and its
// broadcast reaching a real window of this process.
#include "single_instance.h"

#include <gtest/gtest.h>

#include <string>

#include "processes.h"
#include "product.h"

namespace orv {
namespace {

std::wstring uniqueName(const wchar_t* what) {
  return std::wstring(L"OrvalinexFoundationTest_") + what +
         std::to_wstring(::GetCurrentProcessId());
}

TEST(SingleInstance, TheSecondMutexIsRefusedUntilTheFirstGoes) {
  const std::wstring name = uniqueName(L"mutex");
  ScopedHandle first = takeInstanceMutex(name.c_str());
  ASSERT_TRUE(first.valid());
  EXPECT_FALSE(takeInstanceMutex(name.c_str()).valid()) << "another copy runs";
  first.reset();
  EXPECT_TRUE(takeInstanceMutex(name.c_str()).valid());
}

TEST(SingleInstance, TheProgramsRegisterDistinctMessages) {
  const UINT core = registerInstanceMessage(kCoreInstanceMessageName);
  const UINT updater = registerInstanceMessage(kUpdaterInstanceName);
  const UINT notifier = registerInstanceMessage(kNotifierInstanceMessageName);
  EXPECT_NE(core, 0u);
  EXPECT_NE(core, updater);
  EXPECT_NE(updater, notifier);
  EXPECT_EQ(core, registerInstanceMessage(kCoreInstanceMessageName))
      << "the same name, the same id";
}

UINT g_message = 0;
WPARAM g_wParam = 0;

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_message && g_message != 0) g_wParam = wParam;
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(SingleInstance, TheBroadcastReachesTopLevelWindows) {
  g_message = registerInstanceMessage(uniqueName(L"message").c_str());
  ASSERT_NE(g_message, 0u);
  admitInstanceMessage(g_message);  // harmless where the filter does not exist
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &windowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvFoundationBroadcast";
  ::RegisterClassW(&wc);
  HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  broadcastInstanceMessage(g_message, kInstanceQuitRequest);
  EXPECT_TRUE(test::pumpUntil([] { return g_wParam != 0; }, 10000));
  EXPECT_EQ(g_wParam, kInstanceQuitRequest);
  ::DestroyWindow(window);
}

}  // namespace
}  // namespace orv
