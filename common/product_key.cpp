#include "product_key.h"

#include <vector>

namespace orv {

const wchar_t kVersionUnavailableText[] = L"获取版本信息失败";

namespace {
// One writer of the key spells the prefix this way; key names are case-insensitive.
const wchar_t kFirstRunKeyPrefix[] = L"Software\\Halvenor\\DovAZ\\";
const wchar_t kVersionValue[] = L"Version";
const wchar_t kFirstRunValue[] = L"FirstAfterUpdate";
constexpr DWORD kVersionBufferBytes = 260;
}  // namespace

ProductKey::ProductKey(const std::wstring& identifier)
    : identifier_(identifier), keyPath_(kSettingsKeyPrefix + identifier) {
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, kProductKeyRights, key_.receive()) ==
      ERROR_SUCCESS)
    return;
  key_.release();  // a failed open leaves nothing to close
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      kProductKeyRights, nullptr, key_.receive(), nullptr) != ERROR_SUCCESS)
    key_.release();
}

std::int32_t ProductKey::readDword(const wchar_t* valueName) const {
  if (!key_) return -1;
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key_.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS)
    return -1;
  if (type != REG_DWORD || size != sizeof(value)) return -1;
  return static_cast<std::int32_t>(value);
}

std::wstring ProductKey::readText(const wchar_t* valueName) const {
  if (!key_) return std::wstring();
  std::vector<wchar_t> buffer(kProductKeyTextUnits, L'\0');
  DWORD type = 0;
  DWORD size = kProductKeyTextUnits * sizeof(wchar_t);
  if (RegQueryValueExW(key_.get(), valueName, nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return std::wstring();  // missing, or longer than the buffer
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::wstring();
  if (size == 0) return std::wstring();
  if (size % sizeof(wchar_t) != 0) return std::wstring();
  const std::size_t units = size / sizeof(wchar_t);
  if (buffer[units - 1] != L'\0') return std::wstring();  // stored without its terminator
  return std::wstring(buffer.data());
}

std::wstring readVersionText(const std::wstring& identifier) {
  const std::wstring path = kSettingsKeyPrefix + identifier + L"\\";
  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY,
                    key.receive()) != ERROR_SUCCESS) {
    key.release();
    return kVersionUnavailableText;
  }
  // One unit more than the 260 bytes the query may fill, so the text is always terminated even
  // when the value was stored without its terminator.
  wchar_t buffer[kVersionBufferBytes / sizeof(wchar_t) + 1] = {};
  DWORD size = kVersionBufferBytes;
  if (RegQueryValueExW(key.get(), kVersionValue, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                       &size) != ERROR_SUCCESS)
    return kVersionUnavailableText;
  return std::wstring(buffer);
}

bool writeFirstRunFlag(const std::wstring& identifier) {
  const std::wstring path = kFirstRunKeyPrefix + identifier;
  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                    key.receive()) != ERROR_SUCCESS) {
    key.release();
    return false;
  }
  static const wchar_t kOne[] = L"1";
  return RegSetValueExW(key.get(), kFirstRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOne),
                        sizeof(kOne)) == ERROR_SUCCESS;
}

}  // namespace orv
