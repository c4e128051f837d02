// Every row of the OsId table, from the version facts alone.
#include "os_id.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

constexpr std::uint8_t kServer = 3;
constexpr std::uint8_t kDomainController = 2;

OsVersionFacts nt(std::uint32_t major, std::uint32_t minor,
                  std::uint8_t product = kProductWorkstation) {
  OsVersionFacts f;
  f.queried = true;
  f.platformId = kPlatformNt;
  f.major = major;
  f.minor = minor;
  f.productType = product;
  f.processorArchitecture = 0;  // x86
  return f;
}

OsVersionFacts win9x(std::uint32_t minor, char16_t spSecond = 0) {
  OsVersionFacts f;
  f.queried = true;
  f.platformId = kPlatformWindows;
  f.major = 4;
  f.minor = minor;
  f.servicePackSecond = spSecond;
  return f;
}

OsVersionFacts withNative(OsVersionFacts f, std::uint32_t major, std::uint32_t minor) {
  f.nativeKnown = true;
  f.nativeMajor = major;
  f.nativeMinor = minor;
  return f;
}

TEST(OsIdTest, FailedQueryIsUnclassified) {
  OsVersionFacts f = nt(10, 0);
  f.queried = false;
  EXPECT_EQ(classifyOs(f), kOsUnknown);
}

TEST(OsIdTest, Win32s) {
  OsVersionFacts f;
  f.queried = true;
  f.platformId = kPlatformWin32s;
  f.major = 3;
  f.minor = 10;
  EXPECT_EQ(classifyOs(f), kOsWin32s);
}

TEST(OsIdTest, Windows95Family) {
  EXPECT_EQ(classifyOs(win9x(0)), kOsWin95);
  EXPECT_EQ(classifyOs(win9x(0, u' ')), kOsWin95);
  EXPECT_EQ(classifyOs(win9x(0, u'A')), kOsWin95);
  EXPECT_EQ(classifyOs(win9x(0, u'B')), kOsWin95Osr2);
  EXPECT_EQ(classifyOs(win9x(0, u'C')), kOsWin95Osr2);
  EXPECT_EQ(classifyOs(win9x(10)), kOsWin98);
  EXPECT_EQ(classifyOs(win9x(10, u'B')), kOsWin98);
  EXPECT_EQ(classifyOs(win9x(10, u'A')), kOsWin98Se);
  EXPECT_EQ(classifyOs(win9x(90)), kOsWinMe);
  EXPECT_EQ(classifyOs(win9x(90, u'A')), kOsWinMe);
}

TEST(OsIdTest, Windows95FamilyOtherVersionsUnclassified) {
  EXPECT_EQ(classifyOs(win9x(5)), kOsUnknown);
  OsVersionFacts f = win9x(0);
  f.major = 3;
  EXPECT_EQ(classifyOs(f), kOsUnknown);
  f.major = 5;
  EXPECT_EQ(classifyOs(f), kOsUnknown);
}

TEST(OsIdTest, NtFourAndEarlierUnclassified) {
  EXPECT_EQ(classifyOs(nt(4, 0)), kOsUnknown);
  EXPECT_EQ(classifyOs(nt(3, 51)), kOsUnknown);
}

TEST(OsIdTest, Windows2000AndXp) {
  EXPECT_EQ(classifyOs(nt(5, 0)), kOsWin2000);
  EXPECT_EQ(classifyOs(nt(5, 0, kServer)), kOsWin2000);
  EXPECT_EQ(classifyOs(nt(5, 1)), kOsWinXp);
}

TEST(OsIdTest, NtFiveTwoIsXpX64OnlyForAWorkstationOnX64) {
  OsVersionFacts xp64 = nt(5, 2);
  xp64.processorArchitecture = kArchitectureAmd64;
  EXPECT_EQ(classifyOs(xp64), kOsWinXp);
  EXPECT_EQ(classifyOs(nt(5, 2)), kOsWinServer2003);  // x86 workstation type
  OsVersionFacts server64 = nt(5, 2, kServer);
  server64.processorArchitecture = kArchitectureAmd64;
  EXPECT_EQ(classifyOs(server64), kOsWinServer2003);
  EXPECT_EQ(classifyOs(nt(5, 2, kDomainController)), kOsWinServer2003);
}

TEST(OsIdTest, VistaSevenAndServer2008) {
  EXPECT_EQ(classifyOs(nt(6, 0)), kOsWinVista);
  EXPECT_EQ(classifyOs(nt(6, 0, kServer)), kOsWinServer2008);
  EXPECT_EQ(classifyOs(nt(6, 1)), kOsWin7);
  EXPECT_EQ(classifyOs(nt(6, 1, kServer)), kOsWinServer2008);
  EXPECT_EQ(classifyOs(nt(6, 1, kDomainController)), kOsWinServer2008);
}

TEST(OsIdTest, SixTwoWorkstationIsEightUnlessTheNativeQuerySaysTen) {
  EXPECT_EQ(classifyOs(nt(6, 2)), kOsWin8);                      // no native answer
  EXPECT_EQ(classifyOs(withNative(nt(6, 2), 6, 2)), kOsWin8);    // Windows 8
  EXPECT_EQ(classifyOs(withNative(nt(6, 2), 6, 3)), kOsWin8);    // Windows 8.1
  EXPECT_EQ(classifyOs(withNative(nt(6, 2), 10, 0)), kOsWin10);  // Windows 10, undeclared
  EXPECT_EQ(classifyOs(withNative(nt(6, 2), 10, 1)), kOsWin8);   // exactly 10.0 only
  OsVersionFacts unknownNative = nt(6, 2);
  unknownNative.nativeMajor = 10;  // numbers without an answer do not count
  EXPECT_EQ(classifyOs(unknownNative), kOsWin8);
}

TEST(OsIdTest, SixTwoServerIsServerEightWhateverTheNativeQuerySays) {
  EXPECT_EQ(classifyOs(nt(6, 2, kServer)), kOsWinServer8);
  EXPECT_EQ(classifyOs(withNative(nt(6, 2, kServer), 10, 0)), kOsWinServer8);
  EXPECT_EQ(classifyOs(withNative(nt(6, 2, kDomainController), 6, 3)), kOsWinServer8);
}

TEST(OsIdTest, DirectlyReportedLaterVersionsAreEight) {
  EXPECT_EQ(classifyOs(nt(6, 3)), kOsWin8);
  EXPECT_EQ(classifyOs(withNative(nt(10, 0), 10, 0)), kOsWin8);
  EXPECT_EQ(classifyOs(nt(10, 0, kServer)), kOsWin8);
  EXPECT_EQ(classifyOs(nt(7, 0)), kOsWin8);
}

TEST(OsIdTest, OtherPlatformsUnclassified) {
  OsVersionFacts f = nt(10, 0);
  f.platformId = 3;  // Windows CE
  EXPECT_EQ(classifyOs(f), kOsUnknown);
}

TEST(OsIdTest, CallersThresholds) {
  // Vista and later are exactly the ids above 10.
  EXPECT_GT(classifyOs(nt(6, 0)), 10);
  EXPECT_LE(classifyOs(nt(5, 2, kServer)), 10);
  EXPECT_LE(classifyOs(nt(5, 1)), 10);
}

}  // namespace
}  // namespace orv
