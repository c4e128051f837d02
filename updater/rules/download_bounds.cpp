#include "download_bounds.h"

namespace orv::updater {
namespace {

unsigned long long elapsed(unsigned long long since, unsigned long long now) {
  return now > since ? now - since : 0;
}

}  // namespace

bool boundsExpired(const DownloadBounds& bounds, unsigned long long startedAt,
                   unsigned long long lastProgressAt, unsigned long long now) {
  return elapsed(startedAt, now) >= bounds.deadlineMs ||
         elapsed(lastProgressAt, now) >= bounds.idleMs;
}

}  // namespace orv::updater
