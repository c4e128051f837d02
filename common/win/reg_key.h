#pragma once
// A registry key: opened or created, read and written through the programs' rules, and closed
// exactly once.
#include <windows.h>

#include <string>

#include "scoped_handle.h"

namespace orv {

// A predefined root (HKEY_CLASSES_ROOT and the others) may be held but is never closed.
struct RegKeyTraits {
  static HKEY empty() { return nullptr; }
  static bool valid(HKEY key) { return key != nullptr; }
  static void close(HKEY key) {
    if (!isPredefined(key)) ::RegCloseKey(key);
  }
  static bool isPredefined(HKEY key) {
    const auto value = reinterpret_cast<LONG_PTR>(key);
    return value >= reinterpret_cast<LONG_PTR>(HKEY_CLASSES_ROOT) &&
           value <= reinterpret_cast<LONG_PTR>(HKEY_CURRENT_USER_LOCAL_SETTINGS);
  }
};

class RegKey : public ScopedGeneric<HKEY, RegKeyTraits> {
 public:
  using ScopedGeneric::ScopedGeneric;

  // Opens `path` below `root` with `access` (add KEY_WOW64_32KEY for the 32-bit view). On
  // failure the error is returned and the key held before, if any, stays held.
  [[nodiscard]] LSTATUS open(HKEY root, const wchar_t* path, REGSAM access);
  // Opens or creates `path` (and its parents), non-volatile and without class; a failure keeps
  // what was held, as `open` does.
  [[nodiscard]] LSTATUS create(HKEY root, const wchar_t* path, REGSAM access);

  // The value as REG_DWORD of four bytes; false when missing or of another type or size.
  bool readDword(const wchar_t* name, DWORD* value) const;
  // A REG_SZ or REG_EXPAND_SZ text (not expanded) that fits `capacityUnits` UTF-16 units with its
  // terminator, stored as whole units ending in a zero unit. False for anything else.
  bool readText(const wchar_t* name, std::wstring* value, DWORD capacityUnits) const;
  // A REG_SZ or REG_EXPAND_SZ text of any length, read up to its first zero unit.
  bool readAnyText(const wchar_t* name, std::wstring* value) const;
  // The value's bytes as text, whatever its type, when they fit `capacityBytes`: up to its
  // first zero unit, terminated even when it was stored without one. False when missing or
  // larger.
  bool readBytesAsText(const wchar_t* name, std::wstring* value, DWORD capacityBytes) const;

  LSTATUS writeDword(const wchar_t* name, DWORD value);
  // Writes REG_SZ with its terminator; a null name is the key's default value.
  LSTATUS writeText(const wchar_t* name, const std::wstring& value);
  LSTATUS deleteValue(const wchar_t* name);
  // Deletes `subkey` with everything below it; a missing key counts as deleted.
  LSTATUS deleteSubtree(const wchar_t* subkey);
};

}  // namespace orv
