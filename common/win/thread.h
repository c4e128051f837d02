#pragma once
// Threads that own what they work on: the context is handed to the new thread, which deletes it
// when its body returns. Works with the stdcall thread functions of both builds.
#include <windows.h>

#include <memory>

#include "win/scoped_handle.h"

namespace orv {

namespace detail {
template <typename Context>
struct ThreadStart {
  std::unique_ptr<Context> context;
  void (*body)(Context&);
  static DWORD WINAPI main(void* param) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(param));
    start->body(*start->context);
    return 0;
  }
};
template <typename Context>
struct ThreadStartWithCode {
  std::unique_ptr<Context> context;
  DWORD (*body)(Context&);
  static DWORD WINAPI main(void* param) {
    std::unique_ptr<ThreadStartWithCode> start(static_cast<ThreadStartWithCode*>(param));
    return start->body(*start->context);  // the context goes before the thread ends
  }
};
}  // namespace detail

// Starts `body(*context)` on a new thread that owns `context`. The thread's handle is returned;
// it is empty when the thread could not be started (the context is then deleted here).
template <typename Context>
ScopedHandle startOwningThread(std::unique_ptr<Context> context, void (*body)(Context&),
                               DWORD* threadId = nullptr) {
  auto start = std::make_unique<detail::ThreadStart<Context>>();
  start->context = std::move(context);
  start->body = body;
  ScopedHandle thread(
      ::CreateThread(nullptr, 0, &detail::ThreadStart<Context>::main, start.get(), 0, threadId));
  if (thread.valid()) start.release();  // the thread owns it now
  return thread;
}

// The same for a body whose result becomes the thread's exit code.
template <typename Context>
ScopedHandle startOwningThread(std::unique_ptr<Context> context, DWORD (*body)(Context&),
                               DWORD* threadId = nullptr) {
  auto start = std::make_unique<detail::ThreadStartWithCode<Context>>();
  start->context = std::move(context);
  start->body = body;
  ScopedHandle thread(::CreateThread(nullptr, 0, &detail::ThreadStartWithCode<Context>::main,
                                     start.get(), 0, threadId));
  if (thread.valid()) start.release();  // the thread owns it now
  return thread;
}

// The same for a thread nobody waits for: its handle is closed at once. False when it could not
// be started.
template <typename Context>
bool startDetachedThread(std::unique_ptr<Context> context, void (*body)(Context&)) {
  return startOwningThread(std::move(context), body).valid();
}

// Holds a critical section for the life of the guard.
class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CRITICAL_SECTION& section) : section_(section) {
    ::EnterCriticalSection(&section_);
  }
  ~CriticalSectionGuard() { ::LeaveCriticalSection(&section_); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

}  // namespace orv
