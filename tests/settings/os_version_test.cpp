// OSVersion on the running system (Wine) against its own version queries.
#include "os_version.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(OSVersionTest, RunningSystemIsClassifiedFromItsFacts) {
  const OsVersionFacts facts = queryOsVersionFacts();
  ASSERT_TRUE(facts.queried);
  EXPECT_EQ(facts.platformId, static_cast<std::uint32_t>(VER_PLATFORM_WIN32_NT));
  OSVersion version;
  EXPECT_EQ(version.id(), classifyOs(facts));
  EXPECT_NE(version.id(), kOsUnknown);
}

TEST(OSVersionTest, RunningSystemIsVistaOrLater) {
  // Every Windows version Wine imitates by default is later than Vista; the core host then
  // admits its window message through the privilege filter.
  OSVersion version;
  EXPECT_GT(version.id(), 10);
  EXPECT_TRUE(version.isVistaOrLater());
  EXPECT_FALSE(version.isWindows9x());
}

TEST(OSVersionTest, RunningSystemMatchesItsNativeVersion) {
  const OsVersionFacts facts = queryOsVersionFacts();
  if (!facts.nativeKnown) GTEST_SKIP() << "RtlGetVersion is not available";
  if (facts.productType != kProductWorkstation) GTEST_SKIP() << "a server product type";
  OSVersion version;
  const std::uint32_t v = facts.nativeMajor * 100 + facts.nativeMinor;
  switch (v) {
    case 1000:
      // Without a compatibility declaration Windows 10 reports 6.2 and is recognised by the
      // native query; a system that reports 10.0 directly is 14.
      EXPECT_EQ(version.id(), facts.major == 6 && facts.minor == 2 ? kOsWin10 : kOsWin8);
      break;
    case 603:
    case 602:
      EXPECT_EQ(version.id(), kOsWin8);
      break;
    case 601:
      EXPECT_EQ(version.id(), kOsWin7);
      break;
    case 600:
      EXPECT_EQ(version.id(), kOsWinVista);
      break;
    case 501:
      EXPECT_EQ(version.id(), kOsWinXp);
      break;
    default:
      GTEST_SKIP() << "no expectation for native version " << facts.nativeMajor << "."
                   << facts.nativeMinor;
  }
}

TEST(OSVersionTest, BuiltFromFacts) {
  OsVersionFacts f;
  f.queried = true;
  f.platformId = kPlatformWindows;
  f.major = 4;
  f.minor = 10;
  f.servicePackSecond = u'A';
  OSVersion version(f);
  EXPECT_EQ(version.id(), kOsWin98Se);
  EXPECT_TRUE(version.isWindows9x());
  EXPECT_FALSE(version.isVistaOrLater());
}

}  // namespace
}  // namespace orv
