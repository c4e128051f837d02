#pragma once
// The product's settings in the registry: HKLM\SOFTWARE\Halvenor\DovAZ\<identifier>, always in
// the 32-bit registry view (the shipped programs are 32-bit; the 64-bit test build must see the
// same key). Missing values and values of another type read as defaults, never as errors.
#include <windows.h>

#include <cstdint>
#include <string>

#include "product.h"
#include "reg_key.h"

namespace orv {

extern const wchar_t kVersionUnavailableText[];  // shown when the version cannot be read

// Registry rights of the product key, in the 32-bit view.
constexpr REGSAM kProductKeyRights =
    KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE | KEY_WOW64_32KEY;

// Capacity of a text read through ProductKey, in UTF-16 units with the terminator.
constexpr DWORD kProductKeyTextUnits = 260;

class ProductKey {
 public:
  // Opens the key, or creates it when it cannot be opened; without rights it stays closed, and
  // every read then gives the missing-value result.
  explicit ProductKey(const std::wstring& identifier);
  ~ProductKey() = default;
  ProductKey(const ProductKey&) = delete;
  ProductKey& operator=(const ProductKey&) = delete;

  bool isOpen() const { return key_.valid(); }
  const std::wstring& identifier() const { return identifier_; }
  const std::wstring& keyPath() const { return keyPath_; }

  // The value when it exists as REG_DWORD, else -1.
  std::int32_t readDword(const wchar_t* valueName) const;
  // REG_SZ or REG_EXPAND_SZ (not expanded) of at most 260 units with its terminator, made of
  // whole units ending in a zero unit; anything else reads as the empty text.
  std::wstring readText(const wchar_t* valueName) const;

  void close() { key_.reset(); }

 private:
  std::wstring identifier_;
  std::wstring keyPath_;
  RegKey key_;
};

// The direct, read-only version read: value "Version" into a 260-byte buffer (at most 129
// characters). The text read, or kVersionUnavailableText when the key or value cannot be read.
std::wstring readVersionText(const std::wstring& identifier);

// Sets "FirstAfterUpdate" to "1" when the key exists and may be written; never creates the key.
// True when the value was written (callers ignore it: the write fails silently).
bool writeFirstRunFlag(const std::wstring& identifier);

}  // namespace orv
