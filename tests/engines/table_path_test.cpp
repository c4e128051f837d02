// Splitting of dotted table paths and the type names of global reads.
#include <gtest/gtest.h>

#include <typeinfo>

#include "table_path.h"

namespace {

using orv::kavrel::splitTablePath;

TEST(TablePath, SplitsNamesAndArrayIndexes) {
  auto keys = splitTablePath("MSGcallbacks.WM_TIMER.1.span");
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_FALSE(keys[0].isIndex);
  EXPECT_EQ(keys[0].name, "MSGcallbacks");
  EXPECT_EQ(keys[1].name, "WM_TIMER");
  EXPECT_TRUE(keys[2].isIndex);
  EXPECT_EQ(keys[2].index, 1);
  EXPECT_EQ(keys[3].name, "span");
}

TEST(TablePath, SingleNameIsOneKey) {
  auto keys = splitTablePath("Width");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].name, "Width");
}

TEST(TablePath, OnlyPlainDigitsIndex) {
  auto keys = splitTablePath("a.-1.1x.007.1234567890123456789");
  ASSERT_EQ(keys.size(), 5u);
  EXPECT_FALSE(keys[1].isIndex);
  EXPECT_EQ(keys[1].name, "-1");
  EXPECT_FALSE(keys[2].isIndex);
  EXPECT_TRUE(keys[3].isIndex);
  EXPECT_EQ(keys[3].index, 7);
  EXPECT_FALSE(keys[4].isIndex) << "too long for an index: a string key";
}

TEST(TablePath, EmptyComponentsInvalidateThePath) {
  EXPECT_TRUE(splitTablePath("").empty());
  EXPECT_TRUE(splitTablePath(".a").empty());
  EXPECT_TRUE(splitTablePath("a.").empty());
  EXPECT_TRUE(splitTablePath("a..b").empty());
  EXPECT_TRUE(splitTablePath(".").empty());
}

TEST(GlobalVarTypeName, KnowsIntAndWideText) {
  using orv::kavrel::classifyTypeName;
  using orv::kavrel::GlobalVarType;
  EXPECT_EQ(classifyTypeName(typeid(int).name()), GlobalVarType::Int);
  EXPECT_EQ(classifyTypeName("int"), GlobalVarType::Int);
  EXPECT_EQ(classifyTypeName(typeid(wchar_t*).name()), GlobalVarType::WideText);
  EXPECT_EQ(classifyTypeName("wchar_t *"), GlobalVarType::WideText);
  EXPECT_EQ(classifyTypeName(typeid(char*).name()), GlobalVarType::Unknown);
  EXPECT_EQ(classifyTypeName("long"), GlobalVarType::Unknown);
  EXPECT_EQ(classifyTypeName(nullptr), GlobalVarType::Unknown);
}

}  // namespace
