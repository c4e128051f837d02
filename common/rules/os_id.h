#pragma once
// Classification of a Windows version into the numeric OsId the programs test ("greater than 10"
// means Vista or later, 3 to 7 the Windows 95 family). A pure function of the version facts, so
// that every row can be checked on any system.
#include <cstdint>

namespace orv {

enum OsId : int {
  kOsUnknown = 0,  // query failed, NT 4 or earlier, or an unknown platform
  kOsWin32s = 1,
  kOsWin95 = 3,
  kOsWin95Osr2 = 4,
  kOsWin98 = 5,
  kOsWin98Se = 6,
  kOsWinMe = 7,
  kOsWin2000 = 8,
  kOsWinXp = 9,  // also XP Professional x64 Edition
  kOsWinServer2003 = 10,
  kOsWinVista = 11,
  kOsWinServer2008 = 12,  // and 2008 R2
  kOsWin7 = 13,
  kOsWin8 = 14,  // 8, 8.1 and any NT version above 6.2 the version query reports
  kOsWinServer8 = 15,
  kOsWin10 = 16,
};

// The values of the version query that decide the classification (numbers as the system
// reports them in its extended version structure and system information).
struct OsVersionFacts {
  bool queried = false;          // the version query succeeded
  std::uint32_t platformId = 0;  // kPlatform*
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  char16_t servicePackSecond = 0;           // second character of the service-pack text, 0 if none
  std::uint8_t productType = 0;             // kProductWorkstation, or a server type
  std::uint16_t processorArchitecture = 0;  // of the native system; kArchitectureAmd64 is x64
  bool nativeKnown = false;                 // the native version query answered
  std::uint32_t nativeMajor = 0;
  std::uint32_t nativeMinor = 0;
};

constexpr std::uint32_t kPlatformWin32s = 0;
constexpr std::uint32_t kPlatformWindows = 1;  // the Windows 95 family
constexpr std::uint32_t kPlatformNt = 2;
constexpr std::uint8_t kProductWorkstation = 1;
constexpr std::uint16_t kArchitectureAmd64 = 9;

OsId classifyOs(const OsVersionFacts& facts);

}  // namespace orv
