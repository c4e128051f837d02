#include "product_settings.h"

#include "product.h"
#include "reg_key.h"

namespace orv::test {

namespace {
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;
}  // namespace

ProductSettings::ProductSettings(std::wstring keyPath)
    : path_(keyPath.empty() ? std::wstring(kSettingsKeyPath) : std::move(keyPath)) {
  RegKey key;
  keyExisted_ =
      key.open(HKEY_LOCAL_MACHINE, path_.c_str(), KEY_READ | KEY_WOW64_32KEY) == ERROR_SUCCESS;
}

ProductSettings::~ProductSettings() {
  RegKey key;
  if (key.open(HKEY_LOCAL_MACHINE, path_.c_str(), kAccess) != ERROR_SUCCESS) return;
  for (const auto& [name, saved] : saved_) {
    if (saved)
      RegSetValueExW(key.get(), name.c_str(), 0, saved->type, saved->bytes.data(),
                     static_cast<DWORD>(saved->bytes.size()));
    else
      key.deleteValue(name.c_str());
  }
  if (keyExisted_) return;
  key.reset();
  const std::size_t slash = path_.rfind(L'\\');
  RegKey parent;
  if (slash != std::wstring::npos &&
      parent.open(HKEY_LOCAL_MACHINE, path_.substr(0, slash).c_str(), kAccess) == ERROR_SUCCESS)
    RegDeleteKeyExW(parent.get(), path_.substr(slash + 1).c_str(), KEY_WOW64_32KEY, 0);
}

void ProductSettings::remember(const wchar_t* name) {
  if (saved_.count(name)) return;
  RegKey key;
  DWORD type = 0, size = 0;
  if (key.open(HKEY_LOCAL_MACHINE, path_.c_str(), KEY_READ | KEY_WOW64_32KEY) != ERROR_SUCCESS ||
      RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    saved_[name] = std::nullopt;
    return;
  }
  Saved saved;
  saved.type = type;
  saved.bytes.resize(size);
  RegQueryValueExW(key.get(), name, nullptr, nullptr, saved.bytes.data(), &size);
  saved.bytes.resize(size);
  saved_[name] = std::move(saved);
}

void ProductSettings::setText(const wchar_t* name, const std::wstring& value) {
  remember(name);
  RegKey key;
  if (key.create(HKEY_LOCAL_MACHINE, path_.c_str(), kAccess) == ERROR_SUCCESS)
    key.writeText(name, value);
}

void ProductSettings::setDword(const wchar_t* name, DWORD value) {
  remember(name);
  RegKey key;
  if (key.create(HKEY_LOCAL_MACHINE, path_.c_str(), kAccess) == ERROR_SUCCESS)
    key.writeDword(name, value);
}

void ProductSettings::remove(const wchar_t* name) {
  remember(name);
  RegKey key;
  if (key.open(HKEY_LOCAL_MACHINE, path_.c_str(), kAccess) == ERROR_SUCCESS) key.deleteValue(name);
}

}  // namespace orv::test
