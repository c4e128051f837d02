// The shipped program's resources: manifest, version, icon, dialogs and strings.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_installation.h"

namespace orv::test {
namespace {

class CoreResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = hostPath(ORV_CORE_PROGRAM);
    module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::string resourceBytes(LPCWSTR type, LPCWSTR name) {
    HRSRC info = FindResourceW(module_, name, type);
    if (!info) return {};
    HGLOBAL data = LoadResource(module_, info);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module_, info));
  }
  std::wstring path_;
  HMODULE module_ = nullptr;
};

TEST_F(CoreResourcesTest, ManifestAsksForAdministratorDpiAwarenessAndCommonControlsSix) {
  const std::string manifest = resourceBytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
}

TEST_F(CoreResourcesTest, FileVersion) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(0, 1)));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(1223, 19)));
}

TEST_F(CoreResourcesTest, IconDialogsAndStrings) {
  EXPECT_NE(FindResourceW(module_, MAKEINTRESOURCEW(128), RT_GROUP_ICON), nullptr);
  EXPECT_NE(FindResourceW(module_, MAKEINTRESOURCEW(102), RT_DIALOG), nullptr);
  EXPECT_NE(FindResourceW(module_, MAKEINTRESOURCEW(100), RT_DIALOG), nullptr);
  wchar_t text[64] = {};
  ASSERT_GT(LoadStringW(module_, 101, text, 64), 0);
  EXPECT_EQ(std::wstring(text), L"关于 Velmont(&A)...");
}

}  // namespace
}  // namespace orv::test
