#pragma once
// What one file's download may take, and the rule that ends it. Pure logic (no Windows headers).
#include <cstdint>

namespace orv::updater {

// A bound reached ends the attempt as a failure.
struct DownloadBounds {
  unsigned long long deadlineMs = 60ull * 60 * 1000;  // the file, all its attempts: one hour
  unsigned long idleMs = 60 * 1000;                   // without a byte arriving: one minute
  unsigned maxRedirects = 5;
  std::uint64_t maxBytes = std::uint64_t(1) << 30;  // 1 GiB
};

// Whether a transfer is past its bounds at `now` (milliseconds of one clock): the deadline counts
// from `startedAt`, the time without progress from `lastProgressAt`. Either may lie after `now`
// when another thread read the clock later: that time has not passed yet, it is no wrap-around.
bool boundsExpired(const DownloadBounds& bounds, unsigned long long startedAt,
                   unsigned long long lastProgressAt, unsigned long long now);

}  // namespace orv::updater
