#include "os_id.h"

namespace orv {

namespace {

OsId classifyWindows9x(const OsVersionFacts& f) {
  if (f.major != 4) return kOsUnknown;
  switch (f.minor) {
    case 0:
      return (f.servicePackSecond == u'C' || f.servicePackSecond == u'B') ? kOsWin95Osr2 : kOsWin95;
    case 10:
      return f.servicePackSecond == u'A' ? kOsWin98Se : kOsWin98;
    case 90:
      return kOsWinMe;
    default:
      return kOsUnknown;
  }
}

OsId classifyNt(const OsVersionFacts& f) {
  const bool workstation = f.productType == kProductWorkstation;
  if (f.major <= 4) return kOsUnknown;
  if (f.major > 6 || (f.major == 6 && f.minor > 2)) return kOsWin8;
  if (f.major == 6) {
    switch (f.minor) {
      case 0:
        return workstation ? kOsWinVista : kOsWinServer2008;
      case 1:
        return workstation ? kOsWin7 : kOsWinServer2008;
      default:  // 6.2: also what Windows 8.1 and 10 report to programs that do not declare them
        if (!workstation) return kOsWinServer8;
        if (f.nativeKnown && f.nativeMajor == 10 && f.nativeMinor == 0) return kOsWin10;
        return kOsWin8;
    }
  }
  switch (f.minor) {  // major 5
    case 0:
      return kOsWin2000;
    case 1:
      return kOsWinXp;
    case 2:
      return (workstation && f.processorArchitecture == kArchitectureAmd64) ? kOsWinXp
                                                                            : kOsWinServer2003;
    default:
      return kOsUnknown;
  }
}

}  // namespace

OsId classifyOs(const OsVersionFacts& facts) {
  if (!facts.queried) return kOsUnknown;
  switch (facts.platformId) {
    case kPlatformWin32s:
      return kOsWin32s;
    case kPlatformWindows:
      return classifyWindows9x(facts);
    case kPlatformNt:
      return classifyNt(facts);
    default:
      return kOsUnknown;
  }
}

}  // namespace orv
