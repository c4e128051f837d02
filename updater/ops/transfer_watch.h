#pragma once
// The bounds of one download as it runs: an overall deadline, a time without progress, a size
// cap, and the caller's cancellation. The transfer asks `expired()` and `tooLarge()` whenever it
// gets control; for the calls that block without reporting (connecting, headers that never end),
// a watch thread calls the transfer's abort once when the time is up or the caller cancelled.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "download_bounds.h"
#include "scoped_handle.h"

namespace orv::updater {

class TransferWatch {
 public:
  // The deadline counts from `startedAt` (GetTickCount64; the file's first attempt), the time
  // without progress from now. `cancelled` (may be empty) is asked on both threads.
  TransferWatch(const DownloadBounds& bounds, unsigned long long startedAt,
                std::function<bool()> cancelled = {});
  ~TransferWatch();  // stops the watch thread before the abort's objects go
  TransferWatch(const TransferWatch&) = delete;
  TransferWatch& operator=(const TransferWatch&) = delete;

  // Starts the watch thread; `abort` runs on it at most once. False when it could not start.
  bool watch(std::function<void()> abort);
  // Ends the watch thread; after it the abort no longer runs.
  void stop();
  // The byte count so far; the no-progress clock starts again when it grew.
  void progressed(std::uint64_t total);
  // Past a time bound, or cancelled by the caller.
  bool expired() const;
  bool cancelled() const { return cancelled_ && cancelled_(); }
  bool tooLarge(std::uint64_t bytes) const { return bytes > bounds_.maxBytes; }
  const DownloadBounds& bounds() const { return bounds_; }

 private:
  struct Context {
    TransferWatch* watch;
  };
  static DWORD run(Context& context);

  const DownloadBounds bounds_;
  const unsigned long long start_;  // of the file's first attempt
  const std::function<bool()> cancelled_;
  volatile LONG64 lastProgressAt_;
  std::uint64_t lastTotal_ = 0;  // the transfer's thread only
  std::function<void()> abort_;
  ScopedHandle stop_;
  ScopedHandle thread_;
};

}  // namespace orv::updater
