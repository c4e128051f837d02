#pragma once
// For the stand-in programs that tests start in place of a product program: each appends its
// command line (UTF-16, one line) to a record file in its folder (beside itself unless told
// another), so that a test can read how it was started.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "process_util.h"
#include "scoped_handle.h"

namespace orv::test {

inline void appendRecordLine(const std::wstring& record, const std::wstring& line) {
  ScopedHandle file(CreateFileW(record.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                                nullptr));
  if (!file.valid()) return;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
            nullptr);
}

inline void recordCommandLine(const wchar_t* recordName,
                              const std::wstring& folder = moduleDirectory()) {
  appendRecordLine(folder + recordName, std::wstring(GetCommandLineW()) + L"\n");
}

// The process that made this one (0 when it cannot be read).
inline DWORD parentProcessId() {
  const ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry))
    if (entry.th32ProcessID == GetCurrentProcessId()) return entry.th32ParentProcessID;
  return 0;
}

// How the program was started: "<parent process id> <current folder>", one line.
inline void recordStart(const wchar_t* recordName, const std::wstring& folder) {
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  appendRecordLine(folder + recordName,
                   std::to_wstring(parentProcessId()) + L" " + current + L"\n");
}

}  // namespace orv::test
