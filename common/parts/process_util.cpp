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

namespace {

// The folder of the program a command line starts: its first token, quoted or up to a blank.
std::wstring programFolderOf(const std::wstring& commandLine) {
  const bool quoted = !commandLine.empty() && commandLine[0] == L'"';
  const std::size_t end = quoted ? commandLine.find(L'"', 1) : commandLine.find(L' ');
  const std::wstring program =
      quoted ? commandLine.substr(1, end == std::wstring::npos ? end : end - 1)
             : commandLine.substr(0, end);
  return directoryOfPath(program);
}

}  // namespace

ScopedHandle launchCommandLine(const std::wstring& commandLine) {
  // CreateProcessW may write into the command-line buffer, so it gets its own copy.
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  // The program's own folder, so that nothing in the caller's current folder is found first, and
  // none of the caller's handles: an elevated caller hands nothing on.
  const std::wstring folder = programFolderOf(commandLine);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return ScopedHandle();
  ScopedHandle thread(pi.hThread);
  return ScopedHandle(pi.hProcess);
}

}  // namespace orv
