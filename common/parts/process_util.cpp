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

// Looked up at run time: the attribute functions are newer than some of the systems the
// programs start on.
using InitializeListFn = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, PSIZE_T);
using UpdateListFn = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, PVOID, SIZE_T,
                                   PVOID, PSIZE_T);
using DeleteListFn = VOID(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST);
constexpr DWORD_PTR kParentProcessAttribute = 0x00020000;  // PROC_THREAD_ATTRIBUTE_PARENT_PROCESS

template <typename Fn>
Fn kernel32Function(const char* name) {
  // kernel32 is in every process; its handle is not counted and needs no release.
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  return kernel32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)))
                  : nullptr;
}

// The owner of an attribute list naming one parent process; deleted once, at its end.
class ParentProcessAttribute {
 public:
  explicit ParentProcessAttribute(HANDLE* parent) {
    const auto initialize = kernel32Function<InitializeListFn>("InitializeProcThreadAttributeList");
    const auto update = kernel32Function<UpdateListFn>("UpdateProcThreadAttribute");
    delete_ = kernel32Function<DeleteListFn>("DeleteProcThreadAttributeList");
    if (!initialize || !update || !delete_) return;
    SIZE_T size = 0;
    initialize(nullptr, 1, 0, &size);
    if (size == 0) return;
    memory_.resize(size);
    if (!initialize(list(), 1, 0, &size)) return;
    initialized_ = true;
    ready_ = update(list(), 0, kParentProcessAttribute, parent, sizeof(*parent), nullptr,
                    nullptr) != FALSE;
  }
  ~ParentProcessAttribute() {
    if (initialized_) delete_(list());
  }
  ParentProcessAttribute(const ParentProcessAttribute&) = delete;
  ParentProcessAttribute& operator=(const ParentProcessAttribute&) = delete;
  bool ready() const { return ready_; }
  LPPROC_THREAD_ATTRIBUTE_LIST list() {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(memory_.data());
  }

 private:
  std::vector<unsigned char> memory_;
  DeleteListFn delete_ = nullptr;
  bool initialized_ = false;
  bool ready_ = false;
};

unsigned long shellWindowProcess() {
  const HWND shell = GetShellWindow();
  DWORD pid = 0;
  if (shell) GetWindowThreadProcessId(shell, &pid);
  return pid;
}

unsigned long (*shellFinder)() = &shellWindowProcess;

}  // namespace

unsigned long shellProcessId() { return shellFinder(); }

void setShellProcessFinderForTesting(unsigned long (*finder)()) {
  shellFinder = finder ? finder : &shellWindowProcess;
}

ShellStart launchFromShell(const std::wstring& commandLine) {
  ShellStart start;
  start.shellPid = shellProcessId();
  if (start.shellPid == 0) return start;
  ScopedHandle shell(OpenProcess(PROCESS_CREATE_PROCESS, FALSE, start.shellPid));
  if (!shell) return start;
  HANDLE parent = shell.get();
  ParentProcessAttribute attribute(&parent);
  if (!attribute.ready()) return start;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  const std::wstring folder = programFolderOf(commandLine);
  STARTUPINFOEXW si = {};
  si.StartupInfo.cb = sizeof(si);
  si.lpAttributeList = attribute.list();
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT,
                      nullptr, folder.empty() ? nullptr : folder.c_str(), &si.StartupInfo, &pi))
    return start;
  ScopedHandle thread(pi.hThread);
  start.process.reset(pi.hProcess);
  return start;
}

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
