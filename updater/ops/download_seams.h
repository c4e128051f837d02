#pragma once
// The downloader's test seams: what a test may change for the length of a scope, through the
// scoped overrides of the test support library (tests/support/scoped_download_overrides.h), which
// put back what they replaced. The program never includes this header: without an override every
// download runs within its own bounds.
#include "download_bounds.h"

namespace orv::updater {
namespace seams {

// The bounds every download runs within while set (null: the program's own); returns the
// override it replaced. The bounds must outlive their use.
const DownloadBounds* exchangeBounds(const DownloadBounds* bounds);
// The time-out of the WinINet client's handles in milliseconds (0: the bounds' time without
// progress); returns the one it replaced.
unsigned long exchangeHttpsTimeout(unsigned long milliseconds);

}  // namespace seams
}  // namespace orv::updater
