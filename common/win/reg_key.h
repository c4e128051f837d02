#pragma once
// A registry key: opened or created, read and written through the programs' rules, and closed
// exactly once.
#include <windows.h>

#include <string>
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

  // Opens `path` below `root` with `access` (add KEY_WOW64_32KEY for the 32-bit view). On
  // failure the key stays empty and the error is returned.
  LSTATUS open(HKEY root, const wchar_t* path, REGSAM access);
  // Opens or creates `path` (and its parents), non-volatile and without class.
  LSTATUS create(HKEY root, const wchar_t* path, REGSAM access);

  // The value as REG_DWORD of four bytes; false when missing or of another type or size.
  bool readDword(const wchar_t* name, DWORD* value) const;
  // A REG_SZ or REG_EXPAND_SZ text (not expanded) that fits `capacityUnits` UTF-16 units with its
  // terminator, stored as whole units ending in a zero unit. False for anything else.
  bool readText(const wchar_t* name, std::wstring* value, DWORD capacityUnits) const;
  // A REG_SZ or REG_EXPAND_SZ text of any length, read up to its first zero unit.
  bool readAnyText(const wchar_t* name, std::wstring* value) const;

  LSTATUS writeDword(const wchar_t* name, DWORD value);
  // Writes REG_SZ with its terminator; a null name is the key's default value.
  LSTATUS writeText(const wchar_t* name, const std::wstring& value);
  LSTATUS deleteValue(const wchar_t* name);
  // Deletes `subkey` with everything below it; a missing key counts as deleted.
  LSTATUS deleteSubtree(const wchar_t* subkey);

  bool valid() const { return key_ != nullptr; }
  explicit operator bool() const { return valid(); }
  HKEY get() const { return key_; }
  // For functions that return a key through an out parameter; closes the current one first.
  HKEY* receive() {
    reset();
    return &key_;
  }
  // A predefined root (HKEY_CLASSES_ROOT and the others) may be held but is never closed.
  void reset(HKEY key = nullptr) {
    if (key_ && !isPredefined(key_)) ::RegCloseKey(key_);
    key_ = key;
  }
  HKEY release() { return std::exchange(key_, nullptr); }

 private:
  static bool isPredefined(HKEY key) {
    const auto value = reinterpret_cast<LONG_PTR>(key);
    return value >= reinterpret_cast<LONG_PTR>(HKEY_CLASSES_ROOT) &&
           value <= reinterpret_cast<LONG_PTR>(HKEY_CURRENT_USER_LOCAL_SETTINGS);
  }
  HKEY key_ = nullptr;
};

}  // namespace orv
