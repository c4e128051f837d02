#include "process_control.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "file_ops.h"
#include "file_rules.h"
#include "process_util.h"
#include "trace.h"
#include "scoped_handle.h"

namespace orv::updater {

namespace {

// Ids of the running processes whose executable name equals `exeName`, in the snapshot's order.
std::vector<unsigned long> programIds(const std::wstring& exeName) {
  std::vector<unsigned long> ids;
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    traceFailure(L"findProgram", L"CreateToolhelp32Snapshot");
    return ids;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (sameProgramName(entry.szExeFile, exeName)) ids.push_back(entry.th32ProcessID);
  }
  return ids;
}

}  // namespace

unsigned long findProgram(const std::wstring& exeName) {
  const std::vector<unsigned long> ids = programIds(exeName);
  return ids.empty() ? 0 : ids.front();
}

bool waitForOtherCopies(const std::wstring& exeName, unsigned long timeoutMs) {
  std::vector<ScopedHandle> others;
  std::vector<HANDLE> waits;
  for (unsigned long id : programIds(exeName)) {
    if (id == GetCurrentProcessId()) continue;
    ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
    if (!process) continue;  // gone since the snapshot
    waits.push_back(process.get());
    others.push_back(std::move(process));
    if (waits.size() == MAXIMUM_WAIT_OBJECTS) break;
  }
  if (waits.empty()) return true;
  return WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), TRUE, timeoutMs) !=
         WAIT_TIMEOUT;
}

void stopProgram(const std::wstring& exeName) {
  const unsigned long id = findProgram(exeName);
  if (id == 0) return;
  ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
  if (!process) {
    traceFailure(L"stopProgram", L"OpenProcess " + exeName);
    return;
  }
  if (!TerminateProcess(process.get(), kStoppedExitCode))
    traceFailure(L"stopProgram", L"TerminateProcess " + exeName);
}

bool startProgram(const std::wstring& programPath) {
  if (launchCommandLine(quoteProgramPath(programPath))) return true;
  traceFailure(L"startProgram", L"CreateProcess " + programPath);
  return false;
}

ShellStartResult startFromShell(const std::wstring& programPath, unsigned long* shellPid) {
  const ShellStart start = launchFromShell(quoteProgramPath(programPath));
  if (shellPid) *shellPid = start.shellPid;
  if (start.process) return ShellStartResult::kStarted;
  if (start.shellPid == 0) return ShellStartResult::kNoShell;
  const DWORD error = GetLastError();
  traceFailure(L"startFromShell", L"CreateProcess " + programPath);
  SetLastError(error);  // the attempt's failure carries it
  return ShellStartResult::kFailed;
}

bool runAndWait(const std::wstring& programPath, const std::wstring& expectedDigest,
                const std::function<void()>& afterCheck, unsigned long* exitCode) {
  ScopedHandle held = openHeldListedFile(programPath, expectedDigest, L"runAndWait", programPath);
  if (!held) return false;
  if (afterCheck) afterCheck();

  const ScopedHandle process = launchCommandLine(quoteProgramPath(programPath));
  if (!process) {
    traceFailure(L"runAndWait", L"CreateProcess " + programPath);
    return false;
  }
  held.reset();  // the process exists: its image now holds the file

  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) {
    traceFailure(L"runAndWait", L"GetExitCodeProcess " + programPath);
    return false;
  }
  if (exitCode) *exitCode = code;
  return true;
}

}  // namespace orv::updater
