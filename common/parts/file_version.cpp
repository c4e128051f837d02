#include "file_version.h"

#include <vector>

#include "process_util.h"

namespace orv {

std::wstring fileVersionText(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::wstring();
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::wstring();
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info ||
      infoSize < sizeof(VS_FIXEDFILEINFO))
    return std::wstring();
  wchar_t text[64];
  swprintf(text, 64, L"%d.%d.%d.%d", static_cast<int>(HIWORD(info->dwFileVersionMS)),
           static_cast<int>(LOWORD(info->dwFileVersionMS)),
           static_cast<int>(HIWORD(info->dwFileVersionLS)),
           static_cast<int>(LOWORD(info->dwFileVersionLS)));
  return text;
}

std::wstring moduleVersionText(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::wstring() : fileVersionText(std::wstring(path, n));
}

std::wstring ownVersionText() {
  const std::wstring path = modulePath();
  return path.empty() ? std::wstring() : fileVersionText(path);
}

}  // namespace orv
