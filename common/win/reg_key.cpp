#include "reg_key.h"

#include <vector>

namespace orv {

LSTATUS RegKey::open(HKEY root, const wchar_t* path, REGSAM access) {
  HKEY key = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(root, path, 0, access, &key);
  if (status == ERROR_SUCCESS) reset(key);  // a failed open leaves nothing to close
  return status;
}

LSTATUS RegKey::create(HKEY root, const wchar_t* path, REGSAM access) {
  reset();
  HKEY key = nullptr;
  const LSTATUS status = ::RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                           nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) reset(key);
  return status;
}

bool RegKey::readDword(const wchar_t* name, DWORD* value) const {
  if (!valid()) return false;
  DWORD type = 0, data = 0, size = sizeof(data);
  if (::RegQueryValueExW(get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
      ERROR_SUCCESS)
    return false;
  if (type != REG_DWORD || size != sizeof(data)) return false;
  *value = data;
  return true;
}

bool RegKey::readText(const wchar_t* name, std::wstring* value, DWORD capacityUnits) const {
  if (!valid() || capacityUnits == 0) return false;
  std::vector<wchar_t> buffer(capacityUnits, L'\0');
  DWORD type = 0;
  DWORD size = capacityUnits * sizeof(wchar_t);
  if (::RegQueryValueExW(get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
    return false;  // missing, or longer than the buffer
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  if (size == 0 || size % sizeof(wchar_t) != 0) return false;
  const std::size_t units = size / sizeof(wchar_t);
  if (buffer[units - 1] != L'\0') return false;  // stored without its terminator
  *value = std::wstring(buffer.data());
  return true;
}

bool RegKey::readAnyText(const wchar_t* name, std::wstring* value) const {
  if (!valid()) return false;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  // Room for a terminator the value may lack, and for a value that grew since the size query.
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
  DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
  if (::RegQueryValueExW(get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) != ERROR_SUCCESS)
    return false;
  *value = std::wstring(buffer.data());
  return true;
}

bool RegKey::readBytesAsText(const wchar_t* name, std::wstring* value, DWORD capacityBytes) const {
  if (!valid()) return false;
  // One unit more than the query may fill, so the text always ends.
  std::vector<wchar_t> buffer(capacityBytes / sizeof(wchar_t) + 1, L'\0');
  DWORD size = capacityBytes;
  if (::RegQueryValueExW(get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
    return false;
  *value = std::wstring(buffer.data());
  return true;
}

LSTATUS RegKey::writeDword(const wchar_t* name, DWORD value) {
  if (!valid()) return ERROR_INVALID_HANDLE;
  return ::RegSetValueExW(get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

LSTATUS RegKey::writeText(const wchar_t* name, const std::wstring& value) {
  if (!valid()) return ERROR_INVALID_HANDLE;
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          bytes);
}

LSTATUS RegKey::deleteValue(const wchar_t* name) {
  if (!valid()) return ERROR_INVALID_HANDLE;
  return ::RegDeleteValueW(get(), name);
}

LSTATUS RegKey::deleteSubtree(const wchar_t* subkey) {
  if (!valid()) return ERROR_INVALID_HANDLE;
  // With a subkey name, RegDeleteTreeW removes that key itself as well.
  const LSTATUS status = ::RegDeleteTreeW(get(), subkey);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace orv
