#pragma once
// The lock that serialises entry into one Lua state.
//
// Recursive (a Lua callback on the owning thread may enter the engine again), and a thread that
// waits for it keeps handling messages sent to its windows: a script on another thread may be
// sending a message to this thread (CallJsFunc) and would otherwise never finish.
// A holder can lend the lock while it blocks outside Lua (suspend/resume), so other threads can
// run Lua meanwhile on their own Lua threads of the same state.
#include <windows.h>

#include <atomic>

#include "scoped_handle.h"

namespace orv::kavrel {

class EngineLock {
 public:
  EngineLock();
  EngineLock(const EngineLock&) = delete;
  EngineLock& operator=(const EngineLock&) = delete;

  void lock();
  void unlock();
  // Releases every level this thread holds and returns how many that were.
  int suspend();
  // Takes the lock again with the depth suspend() returned.
  void resume(int depth);
  // Depth held by the calling thread (0 when another thread or nobody holds it).
  int depthOfCaller() const;

 private:
  ScopedHandle mutex_;
  std::atomic<DWORD> owner_{0};  // written only by the holder
  int depth_ = 0;                // touched only by the holder
};

// Waits for `handle` while dispatching messages sent to the calling thread's windows.
// Returns the wait's result (WAIT_OBJECT_0, WAIT_ABANDONED_0 or WAIT_FAILED).
DWORD waitHandlingSentMessages(HANDLE handle);

class EngineLockGuard {
 public:
  explicit EngineLockGuard(EngineLock& lock) : lock_(lock) { lock_.lock(); }
  ~EngineLockGuard() { lock_.unlock(); }
  EngineLockGuard(const EngineLockGuard&) = delete;
  EngineLockGuard& operator=(const EngineLockGuard&) = delete;

 private:
  EngineLock& lock_;
};

}  // namespace orv::kavrel
