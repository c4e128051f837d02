#pragma once
// For the stand-in programs that tests start in place of a product program: each appends its
// command line (UTF-16, one line) to a record file in its folder (beside itself unless told
// another), so that a test can read how it was started.
#include <windows.h>

#include <string>

#include "process_util.h"
#include "scoped_handle.h"

namespace orv::test {

inline void recordCommandLine(const wchar_t* recordName,
                              const std::wstring& folder = moduleDirectory()) {
  const std::wstring record = folder + recordName;
  ScopedHandle file(CreateFileW(record.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                                nullptr));
  if (!file.valid()) return;
  const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
            nullptr);
}

}  // namespace orv::test
