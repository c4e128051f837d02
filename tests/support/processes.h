#pragma once
// Processes and windows of other programs for tests under Wine: start a program and wait for its
// exit code, find its dialogs and message boxes, its children, and paths of the build as the
// programs see them.
#include <windows.h>

#include <string>
#include <vector>

#include "test_files.h"  // hostPath: a path of the build as the programs see it
#include "scoped_handle.h"

namespace orv::test {

struct Process {
  ScopedHandle handle;
  DWORD pid = 0;
};

// CreateProcessW with the command line copied into a writable buffer. Under Wine, a start now and
// then fails with ERROR_INTERNAL_ERROR: the new process died before its start-up was done, before
// any of its own code ran, which is the host's fault under load rather than the program's. Such a
// start is tried again, three times in all; every other failure is answered at once.
bool createProcess(const wchar_t* application, const std::wstring& commandLine, bool inheritHandles,
                   DWORD flags, const wchar_t* folder, STARTUPINFOW& startup,
                   PROCESS_INFORMATION& info);

// Ends `process` when it still runs (exit code 99) and waits for it to go.
void endIfRunning(const Process& process);
bool isRunning(const Process& process);
// Starts `program` with the command line `"program" arguments` (or exactly `commandLine` when
// `raw` is set), in the program's folder. Fails the test when it cannot be started.
Process startProgram(const std::wstring& program, const std::wstring& arguments, bool raw = false);
// Runs `commandLine` to its end in `folder` (empty: the current one) with its standard output
// and error going to a file, which is read once it has ended. A file rather than a pipe: helper
// processes that the child starts (Wine's services among them) inherit the handle and would keep
// a pipe open long after the child ended.
struct CapturedRun {
  bool started = false;
  DWORD exitCode = 0;
  std::string output;
};
CapturedRun runCapturingOutput(const std::wstring& commandLine, const std::wstring& folder = L"",
                               DWORD timeoutMs = 300000);

// Runs `commandLine` to its end in `folder` (empty: the current one) as a debuggee and gives
// what it wrote to the debugger, a line per string (wide strings as UTF-8). Empty when it could
// not start; a wait of more than 120 s for the next event ends the collection.
std::string debugOutputOf(const std::wstring& commandLine, const std::wstring& folder = L"");

// The exit code, or STILL_ACTIVE when the process has not ended within `ms`.
DWORD waitForExit(const Process& process, DWORD ms = 30000);

// Waits up to `ms` for `condition`; true when it became true.
template <typename F>
bool waitUntil(F condition, DWORD ms = 30000) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() > end) return false;
    Sleep(50);
  }
}

// Handles the calling thread's messages while it waits up to `ms` for `condition`: for an event
// that comes as a message to a window of the test's own. True when it became true.
template <typename F>
bool pumpUntil(F condition, DWORD ms = 30000) {
  return waitUntil(
      [&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        return condition();
      },
      ms);
}

// Minimises `window` of another process and waits until it stays minimised. Under Wine's X11
// driver a window shown moments before can come back once more when its first show is settled,
// so the minimise is repeated until it holds. False when it never held.
bool minimiseWindow(HWND window);
// The visible main dialog of process `pid` (dialog class, caption the product name), or null.
HWND findMainWindow(DWORD pid);
// A top-level dialog of `pid` with the given caption whose static text control shows `text`.
HWND findMessageBox(DWORD pid, const std::wstring& caption, const std::wstring& text);
// A top-level dialog of `pid` with the given caption.
HWND findDialog(DWORD pid, const std::wstring& caption);
// A top-level window of `pid` of the given class (and caption, unless empty), hidden ones
// included unless `visibleOnly`.
HWND findTopLevelWindow(DWORD pid, const std::wstring& className, const std::wstring& caption = L"",
                        bool visibleOnly = false);
// All top-level windows of `pid` of the given class (and caption, unless empty), visible or not.
std::vector<HWND> topLevelWindows(DWORD pid, const std::wstring& className,
                                  const std::wstring& caption = L"");
std::wstring windowText(HWND window);
// Processes whose parent is `parent` and whose file name is `exeName`.
std::vector<DWORD> childProcesses(DWORD parent, const std::wstring& exeName);
// Whether a process runs from the program file `path`, or from any program file below `folder`
// (full paths, compared without case). Asked before looking for what such a process leaves
// behind, it tells "never started" from "not done yet" without waiting.
bool runsFrom(const std::wstring& path);
bool runsBelow(const std::wstring& folder);

}  // namespace orv::test
