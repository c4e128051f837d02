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
