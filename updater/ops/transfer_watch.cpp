#include "transfer_watch.h"

#include "thread.h"

namespace orv::updater {

namespace {
constexpr DWORD kWatchStepMs = 100;
}

TransferWatch::TransferWatch(const DownloadBounds& bounds, unsigned long long startedAt,
                             std::function<bool()> cancelled)
    : bounds_(bounds),
      start_(startedAt),
      cancelled_(std::move(cancelled)),
      lastProgressAt_(static_cast<LONG64>(GetTickCount64())),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TransferWatch::~TransferWatch() { stop(); }

void TransferWatch::stop() {
  if (!thread_) return;
  SetEvent(stop_.get());
  WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

bool TransferWatch::watch(std::function<void()> abort) {
  if (!stop_) return false;
  abort_ = std::move(abort);
  thread_ = startOwningThread(std::make_unique<Context>(Context{this}), &TransferWatch::run);
  return thread_.valid();
}

void TransferWatch::progressed(std::uint64_t total) {
  if (total <= lastTotal_) return;
  lastTotal_ = total;
  InterlockedExchange64(&lastProgressAt_, static_cast<LONG64>(GetTickCount64()));
}

bool TransferWatch::expired() const {
  // The progress time is read before the clock: the transfer's thread may record progress in
  // between, and a time read earlier can never lie after it.
  const auto lastProgress = static_cast<unsigned long long>(
      InterlockedCompareExchange64(const_cast<volatile LONG64*>(&lastProgressAt_), 0, 0));
  return boundsExpired(bounds_, start_, lastProgress, GetTickCount64()) || cancelled();
}

DWORD TransferWatch::run(Context& context) {
  TransferWatch& self = *context.watch;
  while (WaitForSingleObject(self.stop_.get(), kWatchStepMs) == WAIT_TIMEOUT) {
    if (self.expired()) {
      self.abort_();
      break;
    }
  }
  return 0;
}

}  // namespace orv::updater
