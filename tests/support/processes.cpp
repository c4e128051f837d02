#include "processes.h"

#include <tlhelp32.h>

#include <vector>

#include <gtest/gtest.h>

#include "product.h"

namespace orv::test {

namespace {

struct WindowSearch {
  DWORD pid;
  std::wstring caption;
  std::wstring text;  // empty: any
  bool visibleOnly;
  bool mainOnly = false;  // not a message box
  HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != s->pid) return TRUE;
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (std::wstring(cls) != L"#32770") return TRUE;
  if (s->visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (windowText(window) != s->caption) return TRUE;
  HWND label = GetDlgItem(window, 0xFFFF);  // a message box's text control
  if (s->text.empty() && s->mainOnly && label) return TRUE;
  if (!s->text.empty()) {
    if (!label || windowText(label) != s->text) return TRUE;
  }
  s->found = window;
  return FALSE;
}

HWND search(WindowSearch s) {
  EnumWindows(&matchWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

struct ClassSearch {
  DWORD pid;
  std::wstring className;
  std::wstring caption;  // empty: any
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<ClassSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != s->pid) return TRUE;
  wchar_t cls[128] = {};
  GetClassNameW(window, cls, 128);
  if (s->className != cls) return TRUE;
  if (s->visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (!s->caption.empty() && windowText(window) != s->caption) return TRUE;
  s->found.push_back(window);
  return TRUE;
}

}  // namespace

HWND findTopLevelWindow(DWORD pid, const std::wstring& className, const std::wstring& caption,
                        bool visibleOnly) {
  ClassSearch s{pid, className, caption, visibleOnly, {}};
  EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&s));
  return s.found.empty() ? nullptr : s.found.front();
}

std::vector<HWND> topLevelWindows(DWORD pid, const std::wstring& className,
                                  const std::wstring& caption) {
  ClassSearch s{pid, className, caption, false, {}};
  EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool createProcess(const wchar_t* application, const std::wstring& commandLine, bool inheritHandles,
                   DWORD flags, const wchar_t* folder, STARTUPINFOW& startup,
                   PROCESS_INFORMATION& info) {
  for (int attempt = 1;; ++attempt) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    if (CreateProcessW(application, buffer.data(), nullptr, nullptr, inheritHandles ? TRUE : FALSE,
                       flags, nullptr, folder, &startup, &info))
      return true;
    const DWORD error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR || attempt == 3) {
      SetLastError(error);
      return false;
    }
    Sleep(200);
  }
}

Process startProgram(const std::wstring& program, const std::wstring& arguments, bool raw) {
  std::wstring commandLine = raw ? arguments : L"\"" + program + L"\"";
  if (!raw && !arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  Process p;
  const std::wstring folder = program.substr(0, program.rfind(L'\\'));
  if (!createProcess(program.c_str(), commandLine, false, 0, folder.c_str(), si, pi)) {
    ADD_FAILURE() << "cannot start the program: " << GetLastError();
    return p;
  }
  ScopedHandle thread(pi.hThread);  // not needed
  p.handle.reset(pi.hProcess);
  p.pid = pi.dwProcessId;
  return p;
}

CapturedRun runCapturingOutput(const std::wstring& commandLine, const std::wstring& folder,
                               DWORD timeoutMs) {
  CapturedRun run;
  wchar_t temp[MAX_PATH] = {}, name[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  if (!GetTempFileNameW(temp, L"out", 0, name)) return run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  ScopedHandle output(CreateFileW(name, GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!output.valid()) return run;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  PROCESS_INFORMATION info = {};
  run.started = createProcess(nullptr, commandLine, true, 0,
                              folder.empty() ? nullptr : folder.c_str(), startup, info);
  output.reset();
  if (run.started) {
    ScopedHandle process(info.hProcess), thread(info.hThread);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.get(), 99);
      WaitForSingleObject(process.get(), 10000);
    }
    GetExitCodeProcess(process.get(), &run.exitCode);
    run.output = readFile(std::filesystem::path(name));
  }
  DeleteFileW(name);
  return run;
}

DWORD waitForExit(const Process& process, DWORD ms) {
  if (!process.handle) return STILL_ACTIVE;
  if (WaitForSingleObject(process.handle.get(), ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.handle.get(), &code);
  return code;
}

bool isRunning(const Process& process) {
  return process.handle && WaitForSingleObject(process.handle.get(), 0) == WAIT_TIMEOUT;
}

void endIfRunning(const Process& process) {
  if (!isRunning(process)) return;
  TerminateProcess(process.handle.get(), 99);
  WaitForSingleObject(process.handle.get(), 10000);
}

bool minimiseWindow(HWND window) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (!IsIconic(window)) ShowWindow(window, SW_MINIMIZE);
    if (!waitUntil([&] { return IsIconic(window) != FALSE; }, 3000)) continue;
    if (!waitUntil([&] { return IsIconic(window) == FALSE; }, 1000)) return true;
  }
  return false;
}

HWND findMainWindow(DWORD pid) { return search({pid, kProductName, L"", true, true}); }

HWND findMessageBox(DWORD pid, const std::wstring& caption, const std::wstring& text) {
  return search({pid, caption, text, true});
}

HWND findDialog(DWORD pid, const std::wstring& caption) {
  return search({pid, caption, L"", true});
}

std::wstring windowText(HWND window) {
  wchar_t text[512] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, nullptr);
  return text;
}

std::vector<DWORD> childProcesses(DWORD parent, const std::wstring& exeName) {
  std::vector<DWORD> pids;
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return pids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = Process32FirstW(snapshot.get(), &entry); ok;
       ok = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, exeName.c_str()) == 0)
      pids.push_back(entry.th32ProcessID);
  }
  return pids;
}

namespace {

// Whether the program file of any running process matches. Without a process list it fails the
// test and answers yes, so that no wait on it passes by mistake.
template <typename Match>
bool anyProcessImage(Match match) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    ADD_FAILURE() << "no process snapshot, error " << GetLastError();
    return true;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = Process32FirstW(snapshot.get(), &entry); ok;
       ok = Process32NextW(snapshot.get(), &entry)) {
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    wchar_t image[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (process && QueryFullProcessImageNameW(process.get(), 0, image, &size) && match(image))
      return true;
  }
  return false;
}

}  // namespace

bool runsFrom(const std::wstring& path) {
  return anyProcessImage([&](const wchar_t* image) { return _wcsicmp(image, path.c_str()) == 0; });
}

bool runsBelow(const std::wstring& folder) {
  std::wstring prefix = folder;
  if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
  return anyProcessImage(
      [&](const wchar_t* image) { return _wcsnicmp(image, prefix.c_str(), prefix.size()) == 0; });
}

namespace {
std::string utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();
  return out;
}
}  // namespace

std::string debugOutputOf(const std::wstring& commandLine, const std::wstring& folder) {
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!createProcess(nullptr, commandLine, false, DEBUG_ONLY_THIS_PROCESS,
                     folder.empty() ? nullptr : folder.c_str(), si, pi))
    return std::string();
  ScopedHandle process(pi.hProcess);
  ScopedHandle thread(pi.hThread);
  std::string collected;
  for (;;) {
    DEBUG_EVENT event = {};
    if (!WaitForDebugEvent(&event, 120000)) break;
    DWORD how = DBG_CONTINUE;
    if (event.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT) {
      const auto& info = event.u.DebugString;
      SIZE_T read = 0;
      if (info.fUnicode) {
        std::wstring text(info.nDebugStringLength, L'\0');
        ReadProcessMemory(process.get(), info.lpDebugStringData, text.data(),
                          text.size() * sizeof(wchar_t), &read);
        collected += utf8(text.c_str()) + "\n";
      } else {
        std::string text(info.nDebugStringLength, '\0');
        ReadProcessMemory(process.get(), info.lpDebugStringData, text.data(), text.size(), &read);
        collected += std::string(text.c_str()) + "\n";
      }
    } else if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
      ScopedHandle file(event.u.CreateProcessInfo.hFile);
    } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
      ScopedHandle file(event.u.LoadDll.hFile);
    } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
               event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
      how = DBG_EXCEPTION_NOT_HANDLED;
    }
    const bool exited = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, how);
    if (exited) break;
  }
  return collected;
}

}  // namespace orv::test
