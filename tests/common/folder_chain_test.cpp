#include <gtest/gtest.h>

#include "folder_chain.h"

namespace orv {
namespace {

using Chain = std::vector<std::wstring>;

TEST(FoldersBelow, GivesEveryFolderOnTheWayWithSingleSeparators) {
  const struct {
    const wchar_t* base;
    const wchar_t* folder;
    Chain chain;
  } cases[] = {
      {L"C:\\T\\", L"C:\\T\\\\Orvalinex_Download", {L"C:\\T\\Orvalinex_Download"}},
      {L"C:\\T\\", L"C:\\T\\\\a\\b", {L"C:\\T\\a", L"C:\\T\\a\\b"}},
      {L"C:\\T", L"C:\\T\\a\\\\b\\", {L"C:\\T\\a", L"C:\\T\\a\\b"}},
      {L"C:\\T\\", L"C:\\T\\\\", {}},  // a file listed with an empty path lies in the base
      {L"C:\\T\\", L"C:\\T", {}},
  };
  for (const auto& c : cases) {
    const auto chain = foldersBelow(c.base, c.folder);
    ASSERT_TRUE(chain.has_value()) << c.folder;
    EXPECT_EQ(*chain, c.chain) << c.folder;
  }
}

TEST(FoldersBelow, RefusesWhatWindowsWouldResolveElsewhere) {
  for (const wchar_t* folder :
       {L"C:\\T\\\\..\\Windows", L"C:\\T\\a\\.\\b", L"C:\\T\\a/..\\..", L"C:\\T\\a:x",
        L"C:\\T\\setup.", L"C:\\T\\setup ", L"C:\\Tx\\a", L"D:\\T\\a"}) {
    EXPECT_FALSE(foldersBelow(L"C:\\T\\", folder).has_value()) << folder;
  }
  EXPECT_FALSE(foldersBelow(L"", L"\\Orvalinex_Download").has_value()) << "no temporary folder";
}

}  // namespace
}  // namespace orv
