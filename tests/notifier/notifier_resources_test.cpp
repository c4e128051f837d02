// The shipped notifier's resources: manifest, version, icon, skin, menu, dialogs and string,
// read from the program file and loaded the way the program loads them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "processes.h"
#include "program_resources.h"
#include "scoped_gdi.h"

namespace orv::test {
namespace {

class NotifierResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(resources_.loaded()) << GetLastError(); }
  ProgramResources resources_{hostPath(ORV_NOTIFIER_PROGRAM).wstring()};
};

TEST_F(NotifierResourcesTest, ManifestRunsWithoutElevation) {
  const std::string manifest = resources_.bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
}

TEST_F(NotifierResourcesTest, FileVersionAndNames) {
  DWORD high = 0, low = 0;
  ASSERT_TRUE(resources_.fileVersion(&high, &low));
  EXPECT_EQ(high, static_cast<DWORD>(MAKELONG(0, 1)));
  EXPECT_EQ(low, static_cast<DWORD>(MAKELONG(1223, 19)));
  EXPECT_EQ(resources_.versionText(L"OriginalFilename"), L"OrvalinexTray.exe");
  EXPECT_EQ(resources_.versionText(L"ProductName"),
            L"Delmora网银助手");  // the Chinese text survives the build
}

TEST_F(NotifierResourcesTest, IconAtBothSizes) {
  for (int size : {16, 32}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(resources_.module(), MAKEINTRESOURCEW(128), IMAGE_ICON, size, size, LR_SHARED));
    EXPECT_NE(icon, nullptr) << size;
  }
}

TEST_F(NotifierResourcesTest, SkinIs248By160With24Bits) {
  ScopedGdiObject skin(LoadImageW(resources_.module(), MAKEINTRESOURCEW(130), IMAGE_BITMAP, 0, 0,
                                  LR_CREATEDIBSECTION));
  ASSERT_TRUE(skin.valid());
  BITMAP info = {};
  ASSERT_TRUE(GetObjectW(skin.get(), sizeof(info), &info));
  EXPECT_EQ(info.bmWidth, 248);
  EXPECT_EQ(info.bmHeight, 160);
  EXPECT_EQ(info.bmBitsPixel, 24);
}

TEST_F(NotifierResourcesTest, TrayMenuItemsInOrder) {
  ScopedMenu menu(LoadMenuW(resources_.module(), MAKEINTRESOURCEW(132)));
  ASSERT_TRUE(menu.valid());
  HMENU popup = GetSubMenu(menu.get(), 0);
  ASSERT_NE(popup, nullptr);
  wchar_t caption[32] = {};
  GetMenuStringW(menu.get(), 0, caption, 32, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(caption), L"pop");
  ASSERT_EQ(GetMenuItemCount(popup), 3);
  const struct {
    UINT id;
    const wchar_t* text;
  } items[] = {{32780, L"显示助手"}, {32779, L"关于"}, {32778, L"退出"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GetMenuItemID(popup, i), items[i].id);
    wchar_t text[32] = {};
    GetMenuStringW(popup, i, text, 32, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), items[i].text);
  }
}

// The leading fields of a DLGTEMPLATEEX.
struct DialogHeader {
  WORD version;
  WORD signature;
  DWORD helpId;
  DWORD exStyle;
  DWORD style;
  WORD items;
  short x, y, cx, cy;
};

TEST_F(NotifierResourcesTest, DialogsAndAboutString) {
  const std::string main = resources_.bytes(RT_DIALOG, MAKEINTRESOURCEW(102));
  ASSERT_GE(main.size(), sizeof(DialogHeader));
  const auto* header = reinterpret_cast<const DialogHeader*>(main.data());
  EXPECT_EQ(header->signature, 0xFFFF);
  EXPECT_EQ(header->items, 0);
  EXPECT_EQ(header->cx, 320);
  EXPECT_EQ(header->cy, 200);
  EXPECT_TRUE(header->exStyle & WS_EX_APPWINDOW);
  const DWORD wanted =
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_MODALFRAME;
  EXPECT_EQ(header->style & wanted, wanted);
  EXPECT_FALSE(header->style & WS_VISIBLE);

  const std::string about = resources_.bytes(RT_DIALOG, MAKEINTRESOURCEW(100));
  ASSERT_GE(about.size(), sizeof(DialogHeader));
  const auto* aboutHeader = reinterpret_cast<const DialogHeader*>(about.data());
  EXPECT_EQ(aboutHeader->cx, 182);
  EXPECT_EQ(aboutHeader->cy, 77);
  EXPECT_EQ(aboutHeader->items, 5);  // icon, three texts, OK

  wchar_t text[128] = {};
  ASSERT_GT(LoadStringW(resources_.module(), 101, text, 128), 0);
  EXPECT_EQ(std::wstring(text), L"关于 LumoraPop(&A)...");
}

}  // namespace
}  // namespace orv::test
