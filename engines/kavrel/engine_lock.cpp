#include "engine_lock.h"

namespace orv::kavrel {

DWORD waitHandlingSentMessages(HANDLE handle) {
  for (;;) {
    DWORD r = ::MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_SENDMESSAGE, 0);
    if (r == WAIT_OBJECT_0 + 1) {
      // Peeking dispatches every pending sent message; posted messages stay queued.
      MSG msg;
      ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    if (r == WAIT_FAILED) return ::WaitForSingleObject(handle, INFINITE);
    return r;
  }
}

EngineLock::EngineLock() : mutex_(::CreateMutexW(nullptr, FALSE, nullptr)) {}

void EngineLock::lock() {
  DWORD self = ::GetCurrentThreadId();
  if (depth_ > 0 && owner_ == self) {
    ++depth_;
    return;
  }
  // An abandoned lock (its holder thread ended inside Lua) is taken over like a free one.
  waitHandlingSentMessages(mutex_.get());
  owner_ = self;
  depth_ = 1;
}

void EngineLock::unlock() {
  if (--depth_ == 0) {
    owner_ = 0;
    ::ReleaseMutex(mutex_.get());
  }
}

int EngineLock::suspend() {
  if (depth_ == 0 || owner_ != ::GetCurrentThreadId()) return 0;
  int depth = depth_;
  depth_ = 0;
  owner_ = 0;
  ::ReleaseMutex(mutex_.get());
  return depth;
}

void EngineLock::resume(int depth) {
  if (depth <= 0) return;
  waitHandlingSentMessages(mutex_.get());
  owner_ = ::GetCurrentThreadId();
  depth_ = depth;
}

int EngineLock::depthOfCaller() const { return owner_ == ::GetCurrentThreadId() ? depth_ : 0; }

}  // namespace orv::kavrel
