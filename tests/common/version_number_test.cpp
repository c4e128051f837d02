#include <gtest/gtest.h>

#include "version_number.h"

namespace orv {
namespace {

void expectVersion(const wchar_t* text, int a, int b, int c, int d, const wchar_t* keptText) {
  SCOPED_TRACE(testing::Message() << "text \"" << testing::PrintToString(std::wstring(text))
                                  << "\"");
  const VersionNumber v = VersionNumber::parse(text);
  EXPECT_EQ(v.major(), a);
  EXPECT_EQ(v.minor(), b);
  EXPECT_EQ(v.build(), c);
  EXPECT_EQ(v.revision(), d);
  EXPECT_EQ(v.text(), keptText);
}

TEST(VersionNumber, FourPiecesGiveTheNumbersAndKeepTheText) {
  expectVersion(L"1.2.3.4", 1, 2, 3, 4, L"1.2.3.4");
  expectVersion(L"1.0.19.1223", 1, 0, 19, 1223, L"1.0.19.1223");
  expectVersion(L"1..2.3", 1, 0, 2, 3, L"1..2.3");
  // A final dot still counts as four pieces.
  expectVersion(L"1.2.3.", 1, 2, 3, 0, L"1.2.3.");
}

TEST(VersionNumber, PiecesAreReadLikeWtoi) {
  expectVersion(L" 7.-2.+3.9x", 7, -2, 3, 9, L" 7.-2.+3.9x");
  expectVersion(L"a.b.c.d", 0, 0, 0, 0, L"a.b.c.d");
  // Far too many digits saturate rather than wrap around.
  expectVersion(L"99999999999.1.1.1", 2147483647, 1, 1, 1, L"99999999999.1.1.1");
  expectVersion(L"-99999999999.1.1.1", -2147483647 - 1, 1, 1, 1, L"-99999999999.1.1.1");
}

TEST(VersionNumber, AnyOtherPieceCountIsInvalid) {
  for (const wchar_t* text : {L"1.2.3", L"1.2.3.4.5", L"", L"1", L"...."}) {
    expectVersion(text, 0, 0, 0, 0, L"");
  }
}

TEST(VersionNumber, OrdersMajorFirst) {
  const auto v = [](const wchar_t* t) { return VersionNumber::parse(t); };
  EXPECT_LT(v(L"1.0.19.1223"), v(L"1.0.20.0"));
  EXPECT_LT(v(L"1.9.9.9"), v(L"2.0.0.0"));
  EXPECT_GT(v(L"1.0.0.10"), v(L"1.0.0.9"));
  EXPECT_EQ(v(L"1.02.3.4"), v(L"1.2.3.4"));
  EXPECT_LE(v(L"1.2.3"), v(L"0.0.0.0"));
  EXPECT_EQ(VersionNumber(1, 2, 3, 4).toString(), L"1.2.3.4");
}

}  // namespace
}  // namespace orv
