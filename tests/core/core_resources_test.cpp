// The shipped program's resources: manifest, icon, dialogs and strings.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_installation.h"
#include "program_resources.h"

namespace orv::test {
namespace {

class CoreResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(resources_.loaded()) << GetLastError(); }
  ProgramResources resources_{hostPath(ORV_CORE_PROGRAM).wstring()};
};

TEST_F(CoreResourcesTest, ManifestAsksForAdministratorDpiAwarenessAndCommonControlsSix) {
  const std::string manifest = resources_.bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
}

TEST_F(CoreResourcesTest, IconDialogsAndStrings) {
  EXPECT_NE(FindResourceW(resources_.module(), MAKEINTRESOURCEW(128), RT_GROUP_ICON), nullptr);
  EXPECT_NE(FindResourceW(resources_.module(), MAKEINTRESOURCEW(102), RT_DIALOG), nullptr);
  EXPECT_NE(FindResourceW(resources_.module(), MAKEINTRESOURCEW(100), RT_DIALOG), nullptr);
  wchar_t text[64] = {};
  EXPECT_GT(LoadStringW(resources_.module(), 101, text, 64), 0);
}

}  // namespace
}  // namespace orv::test
