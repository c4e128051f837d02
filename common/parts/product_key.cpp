#include "product_key.h"

namespace orv {

const wchar_t kVersionUnavailableText[] = L"获取版本信息失败";

namespace {
const wchar_t kVersionValue[] = L"Version";
const wchar_t kFirstRunValue[] = L"FirstAfterUpdate";
constexpr DWORD kVersionBufferBytes = 260;
}  // namespace

ProductKey::ProductKey(const std::wstring& identifier)
    : identifier_(identifier), keyPath_(kSettingsKeyPrefix + identifier) {
  if (key_.open(HKEY_LOCAL_MACHINE, keyPath_.c_str(), kProductKeyRights) == ERROR_SUCCESS) return;
  // Without the rights to create it the key stays closed: every read gives its default.
  (void)key_.create(HKEY_LOCAL_MACHINE, keyPath_.c_str(), kProductKeyRights);
}

std::int32_t ProductKey::readDword(const wchar_t* valueName) const {
  DWORD value = 0;
  if (!key_.readDword(valueName, &value)) return -1;
  return static_cast<std::int32_t>(value);
}

std::wstring ProductKey::readText(const wchar_t* valueName) const {
  std::wstring value;
  if (!key_.readText(valueName, &value, kProductKeyTextUnits)) return std::wstring();
  return value;
}

std::wstring readVersionText(const std::wstring& identifier) {
  const std::wstring path = kSettingsKeyPrefix + identifier + L"\\";
  RegKey key;
  if (key.open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WOW64_32KEY) != ERROR_SUCCESS)
    return kVersionUnavailableText;
  std::wstring version;
  if (!key.readBytesAsText(kVersionValue, &version, kVersionBufferBytes))
    return kVersionUnavailableText;
  return version;
}

bool writeFirstRunFlag(const std::wstring& identifier) {
  const std::wstring path = kSettingsKeyPrefix + identifier;
  RegKey key;
  if (key.open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_SET_VALUE | KEY_WOW64_32KEY) != ERROR_SUCCESS)
    return false;
  return key.writeText(kFirstRunValue, L"1") == ERROR_SUCCESS;
}

}  // namespace orv
