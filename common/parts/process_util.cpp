#include "process_util.h"

#include <windows.h>

#include <vector>

namespace orv {

std::wstring directoryOfPath(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return std::wstring();
  return path.substr(0, slash + 1);
}

std::wstring modulePath() {
  wchar_t buffer[520] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 520);
  if (n == 0 || n >= 520) return std::wstring();  // a cut path would name another file
  return std::wstring(buffer, n);
}

std::wstring moduleDirectory() { return directoryOfPath(modulePath()); }

ScopedHandle launchCommandLine(const std::wstring& commandLine) {
  // CreateProcessW may write into the command-line buffer, so it gets its own copy.
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi))
    return ScopedHandle();
  ScopedHandle thread(pi.hThread);
  return ScopedHandle(pi.hProcess);
}

}  // namespace orv
