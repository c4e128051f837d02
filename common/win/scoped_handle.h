#pragma once
// Owners of Windows handles: each closes its handle exactly once, when it goes out of scope.
#include <windows.h>

#include <utility>

namespace orv {

// A handle closed with a given function; `Invalid` values are treated as empty.
template <typename T, typename Traits>
class ScopedGeneric {
 public:
  ScopedGeneric() = default;
  explicit ScopedGeneric(T value) : value_(value) {}
  ~ScopedGeneric() { reset(); }
  ScopedGeneric(ScopedGeneric&& other) noexcept : value_(other.release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;

  bool valid() const { return Traits::valid(value_); }
  explicit operator bool() const { return valid(); }
  T get() const { return value_; }
  void reset(T value = Traits::empty()) {
    if (valid()) Traits::close(value_);
    value_ = value;
  }
  // Hands the value to a caller that then owns it.
  [[nodiscard]] T release() { return std::exchange(value_, Traits::empty()); }
  // For functions that give a handle through an out parameter; closes the current one first.
  T* receive() {
    reset();
    return &value_;
  }

 private:
  T value_ = Traits::empty();
};

struct HandleTraits {
  static HANDLE empty() { return nullptr; }
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  static HANDLE empty() { return INVALID_HANDLE_VALUE; }
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { ::FindClose(h); }
};
struct LibraryTraits {
  static HMODULE empty() { return nullptr; }
  static bool valid(HMODULE h) { return h != nullptr; }
  static void close(HMODULE h) { ::FreeLibrary(h); }
};
struct LocalMemoryTraits {
  static HLOCAL empty() { return nullptr; }
  static bool valid(HLOCAL h) { return h != nullptr; }
  static void close(HLOCAL h) { ::LocalFree(h); }
};

using ScopedHandle = ScopedGeneric<HANDLE, HandleTraits>;            // CloseHandle
using ScopedFindHandle = ScopedGeneric<HANDLE, FindHandleTraits>;    // FindClose
using ScopedLibrary = ScopedGeneric<HMODULE, LibraryTraits>;         // FreeLibrary
using ScopedLocalMemory = ScopedGeneric<HLOCAL, LocalMemoryTraits>;  // LocalFree

}  // namespace orv
