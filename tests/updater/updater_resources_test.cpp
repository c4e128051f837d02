// The shipped updater's resources: manifest, version, icon, dialogs, strings and the embedded
// page, each in the language and encoding the page relies on.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"
#include "program_resources.h"

namespace orv::test {
namespace {

constexpr WORD kChineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

class UpdaterResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(resources_.loaded()) << GetLastError(); }
  ProgramResources resources_{hostPath(ORV_UPDATER_PROGRAM).wstring()};
};

TEST_F(UpdaterResourcesTest, ManifestAsksForAdministratorAndDpiAwareness) {
  const std::string manifest =
      resources_.bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), kChineseSimplified);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

TEST_F(UpdaterResourcesTest, FileVersionIsTheUpdatersOwn) {
  DWORD high = 0, low = 0;
  ASSERT_TRUE(resources_.fileVersion(&high, &low));
  EXPECT_EQ(high, static_cast<DWORD>(MAKELONG(1, 1)));
  EXPECT_EQ(low, static_cast<DWORD>(MAKELONG(1223, 19)));
}

TEST_F(UpdaterResourcesTest, IconDialogsAndAboutText) {
  EXPECT_NE(FindResourceW(resources_.module(), MAKEINTRESOURCEW(128), RT_GROUP_ICON), nullptr);
  EXPECT_NE(FindResourceW(resources_.module(), MAKEINTRESOURCEW(102), RT_DIALOG), nullptr);
  EXPECT_NE(FindResourceW(resources_.module(), MAKEINTRESOURCEW(100), RT_DIALOG), nullptr);
  wchar_t text[64] = {};
  ASSERT_GT(LoadStringW(resources_.module(), 101, text, 64), 0);
  EXPECT_EQ(std::wstring(text), L"关于 Brenlow(&A)...");
  // Template 102: a popup with a thin border, no caption, and a taskbar button.
  const std::string dialog = resources_.bytes(RT_DIALOG, MAKEINTRESOURCEW(102), kChineseSimplified);
  ASSERT_GE(dialog.size(), 16u);
  DWORD exStyle = 0, style = 0;
  memcpy(&exStyle, dialog.data() + 8, 4);  // DLGTEMPLATEEX: help id, extended style, style
  memcpy(&style, dialog.data() + 12, 4);
  EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE | WS_BORDER), DWORD{WS_POPUP | WS_VISIBLE | WS_BORDER});
  EXPECT_NE(style & WS_CAPTION, DWORD{WS_CAPTION});
  EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
}

TEST_F(UpdaterResourcesTest, PageIsEmbeddedInCodePage936WithJQuery) {
  struct Entry {
    LPCWSTR type;
    LPCWSTR name;
  };
  for (const Entry& e : {Entry{MAKEINTRESOURCEW(23), L"INDEX.HTML"}, Entry{L"CSS", L"INDEX.CSS"},
                         Entry{L"JS", L"JQUERY.MIN.JS"}, Entry{L"JS", L"INTERFACE.JS"},
                         Entry{L"JS", L"INDEX.JS"}, Entry{L"JS", L"CORECALLFUNC.JS"},
                         Entry{L"JS", L"COMMFUNC.JS"}, Entry{L"IMG", L"BACKGROUND.PNG"},
                         Entry{L"IMG", L"PROCESSBAR.PNG"}, Entry{L"IMG", L"MIN_NORMAL.GIF"},
                         Entry{L"IMG", L"CLOSE_NORMAL.GIF"}, Entry{L"IMG", L"MSGBOX_OK.GIF"},
                         Entry{L"IMG", L"MSGBOX_CLOSE.GIF"}, Entry{L"IMG", L"ASK.GIF"},
                         Entry{L"IMG", L"ERROR.GIF"}, Entry{L"IMG", L"SUCCESS.GIF"},
                         Entry{L"IMG", L"WARNING.GIF"}})
    EXPECT_FALSE(resources_.bytes(e.type, e.name, kChineseSimplified).empty()) << std::hex
        << reinterpret_cast<std::uintptr_t>(e.type) << " " << e.name;

  EXPECT_NE(resources_.bytes(L"JS", L"JQUERY.MIN.JS", kChineseSimplified).find("1.9.1"),
            std::string::npos);
  // The page's texts in code page 936, never UTF-8.
  const std::string script = resources_.bytes(L"JS", L"CORECALLFUNC.JS", kChineseSimplified);
  const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, script.data(),
                                    static_cast<int>(script.size()), nullptr, 0);
  ASSERT_GT(n, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(936, 0, script.data(), static_cast<int>(script.size()), wide.data(), n);
  EXPECT_NE(wide.find(L"助手有新版本，是否更新？"), std::wstring::npos);
  EXPECT_EQ(script.find("\xE5\x8A\xA9\xE6\x89\x8B"), std::string::npos) << "UTF-8 text in the page";
}

}  // namespace
}  // namespace orv::test
