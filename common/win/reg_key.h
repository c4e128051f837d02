#pragma once
// Owner of an open registry key: closes it exactly once.
#include <windows.h>

#include <utility>

namespace orv {

class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : key_(key) {}
  ~RegKey() { reset(); }
  RegKey(RegKey&& other) noexcept : key_(other.release()) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  bool valid() const { return key_ != nullptr; }
  explicit operator bool() const { return valid(); }
  HKEY get() const { return key_; }
  // For functions that return a key through an out parameter; closes the current one first.
  HKEY* receive() {
    reset();
    return &key_;
  }
  void reset(HKEY key = nullptr) {
    if (key_) ::RegCloseKey(key_);
    key_ = key;
  }
  HKEY release() { return std::exchange(key_, nullptr); }

 private:
  HKEY key_ = nullptr;
};

}  // namespace orv
