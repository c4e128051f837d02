// Whether the document the browser reports is the entry page it was sent to.
#include "page_address.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(PageAddress, FilePathMatchesTheUrlTheControlReports) {
  EXPECT_TRUE(samePageAddress(L"C:\\Program Files\\Orv\\page\\index.htm",
                              L"file:///C:/Program Files/Orv/page/index.htm"));
  EXPECT_TRUE(samePageAddress(L"c:\\orv\\INDEX.HTM", L"file:///C:/orv/index.htm"));
  EXPECT_TRUE(
      samePageAddress(L"res://C:\\orv\\ui.dll/main.htm", L"res://c:\\orv\\ui.dll/main.htm"));
}

TEST(PageAddress, TheBlankStartPageOrAnotherPageIsNotTheEntryPage) {
  EXPECT_FALSE(samePageAddress(L"C:\\orv\\index.htm", L"about:blank"));
  EXPECT_FALSE(samePageAddress(L"C:\\orv\\index.htm", L"file:///C:/orv/other.htm"));
  EXPECT_FALSE(samePageAddress(L"C:\\orv\\index.htm", L""));
  EXPECT_FALSE(samePageAddress(L"", L""));
  // Only ASCII letters fold: other characters of a path stay as they are.
  EXPECT_FALSE(samePageAddress(L"C:\\Ä\\x.htm", L"file:///C:/ä/x.htm"));
}

}  // namespace
}  // namespace orv
