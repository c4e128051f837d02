// The About box's version line, natively and under Wine.
#include <gtest/gtest.h>

#include "about_text.h"

namespace orv::core {
namespace {

TEST(AboutText, NamesTheProductAndTheVersion) {
  EXPECT_EQ(aboutVersionText(L"1.0.19.1223"), L"Ambrel网银助手版本号：1.0.19.1223");
  // The read failure's own text stands where the version would.
  EXPECT_EQ(aboutVersionText(L"获取版本信息失败"), L"Ambrel网银助手版本号：获取版本信息失败");
  EXPECT_EQ(aboutVersionText(L""), L"Ambrel网银助手版本号：");
}

}  // namespace
}  // namespace orv::core
