#pragma once
// Threads that own what they work on: the context is handed to the new thread, which deletes it
// when its body returns. Works with the stdcall thread functions of both builds.
#include <windows.h>

#include <memory>
#include <type_traits>

#include "scoped_handle.h"

namespace orv {

namespace detail {
// The thread's start: `body` is run on the owned context; a DWORD result becomes the exit code.
template <typename Context, typename Result>
struct ThreadStart {
  std::unique_ptr<Context> context;
  Result (*body)(Context&);
  static DWORD WINAPI main(void* param) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(param));
    if constexpr (std::is_void_v<Result>) {
      start->body(*start->context);
      return 0;
    } else {
      return start->body(*start->context);  // the context goes before the thread ends
    }
  }
};
}  // namespace detail

// Starts `body(*context)` on a new thread that owns `context`; a body returning DWORD gives the
// thread's exit code. The thread's handle is returned; it is empty when the thread could not be
// started (the context is then deleted here).
template <typename Context, typename Result>
[[nodiscard]] ScopedHandle startOwningThread(std::unique_ptr<Context> context,
                                             Result (*body)(Context&), DWORD* threadId = nullptr) {
  static_assert(std::is_void_v<Result> || std::is_same_v<Result, DWORD>);
  using Start = detail::ThreadStart<Context, Result>;
  auto start = std::make_unique<Start>();
  start->context = std::move(context);
  start->body = body;
  ScopedHandle thread(::CreateThread(nullptr, 0, &Start::main, start.get(), 0, threadId));
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
