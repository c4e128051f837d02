#include "file_ops.h"

#include <shlobj.h>

#include <memory>
#include <vector>

#include "ansi_text.h"
#include "file_rules.h"
#include "file_system.h"
#include "held_file_digest.h"
#include "path_join.h"
#include "process_util.h"
#include "trace.h"
#include "update_rules.h"

namespace orv::updater {

ScopedHandle openHeldFile(const std::wstring& path) {
  return ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

ScopedHandle openHeldListedFile(const std::wstring& path, const std::wstring& listedDigest,
                                const wchar_t* tag, const std::wstring& name) {
  ScopedHandle held = openHeldFile(path);
  if (!held) {
    traceFailure(tag, L"CreateFile " + path);
    return held;
  }
  if (!updater::fetchedDigestMatches(heldFileDigest(held.get()), listedDigest)) {
    traceLine(tag, name + L"'s digest is not the listed one");
    return ScopedHandle();
  }
  return held;
}

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

std::wstring ownVersionText() {
  const std::wstring path = modulePath();
  return path.empty() ? std::wstring() : fileVersionText(path);
}

bool runsUnderWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (!kernel) return false;
  const auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

void desktopCopyBetween(const std::wstring& parameter, const std::wstring& programFolder,
                        const std::wstring& desktopFolder, bool underWow64) {
  const DesktopCopyNames names = splitDesktopCopyParameter(parameter);
  const std::wstring target = joinPath(desktopFolder, names.target);
  if (pathExists(target)) return;
  const std::wstring source = programFolder + desktopSourceName(names.source, underWow64);
  if (!CopyFileW(source.c_str(), target.c_str(), TRUE))
    traceFailure(L"desktopCopy", L"CopyFile " + source);
}

void desktopCopy(const std::wstring& parameter) {
  wchar_t desktop[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE)) return;
  desktopCopyBetween(parameter, moduleDirectory(), desktop, runsUnderWow64());
}

}  // namespace orv::updater
