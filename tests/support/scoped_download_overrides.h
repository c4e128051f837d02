#pragma once
// Scoped overrides of the updater's downloader (download_seams.h): each holds its value for its
// scope and puts back what it replaced, so no test leaves the downloader changed. For test
// programs that link the updater's operations.
#include "download_seams.h"

namespace orv::test {

// Every download runs within `bounds` for the scope.
class ScopedDownloadBoundsForTesting {
 public:
  explicit ScopedDownloadBoundsForTesting(const updater::DownloadBounds& bounds)
      : bounds_(bounds), replaced_(updater::seams::exchangeBounds(&bounds_)) {}
  ~ScopedDownloadBoundsForTesting() { updater::seams::exchangeBounds(replaced_); }
  ScopedDownloadBoundsForTesting(const ScopedDownloadBoundsForTesting&) = delete;
  ScopedDownloadBoundsForTesting& operator=(const ScopedDownloadBoundsForTesting&) = delete;

 private:
  const updater::DownloadBounds bounds_;
  const updater::DownloadBounds* replaced_;
};

// The WinINet client's handles time out after `milliseconds` for the scope.
class ScopedHttpsTimeoutForTesting {
 public:
  explicit ScopedHttpsTimeoutForTesting(unsigned long milliseconds)
      : replaced_(updater::seams::exchangeHttpsTimeout(milliseconds)) {}
  ~ScopedHttpsTimeoutForTesting() { updater::seams::exchangeHttpsTimeout(replaced_); }
  ScopedHttpsTimeoutForTesting(const ScopedHttpsTimeoutForTesting&) = delete;
  ScopedHttpsTimeoutForTesting& operator=(const ScopedHttpsTimeoutForTesting&) = delete;

 private:
  const unsigned long replaced_;
};

}  // namespace orv::test
