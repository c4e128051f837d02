#include "core_installation.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "manifest_signature.h"
#include "manifest_writer.h"

namespace fs = std::filesystem;

namespace orv::test {

namespace {

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

const std::string& devPrivateKey() {
  static const std::string key = readAll(hostPath(ORV_SOURCE_DIR "/keys/manifest-dev.key"));
  return key;
}

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

}  // namespace

const char kPlainPage[] = "<html><head><title>core</title></head><body></body></html>\n";

std::wstring hostPath(const char* linuxPath) {
  std::wstring out = L"Z:";
  for (const char* p = linuxPath; *p; ++p) out += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
  return out;
}

CoreInstallation::CoreInstallation(const std::string& luaConfig, const char* program) {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  base_ = fs::path(temp) / (L"orvcore-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(counter++));
  dir_ = base_ / L"orv core";
  fs::remove_all(base_);
  fs::create_directories(dir_ / L"Script");
  const auto copy = [](const std::wstring& from, const fs::path& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  };
  copy(hostPath(program ? program : ORV_CORE_TEST_HOST), dir_ / L"OrvalinexCore.exe");
  copy(hostPath(ORV_KAVREL_DLL), dir_ / L"Kavrel.dll");
  copy(hostPath(ORV_JORNET_DLL), dir_ / L"Jornet.dll");
  copy(hostPath(ORV_STAND_IN_UPDATER), dir_ / L"OrvalinexUpdate.exe");
  // Where an unquoted "<base>\orv core\OrvalinexUpdate.exe" would be taken for "<base>\orv.exe".
  copy(hostPath(ORV_STAND_IN_UPDATER), base_ / L"orv.exe");
  writeFile(L"Script\\CoreConfig.lua", luaConfig);
  writeFile(L"page.htm", kPlainPage);
}

CoreInstallation::~CoreInstallation() {
  std::error_code ignored;
  fs::remove_all(base_, ignored);
}

std::wstring CoreInstallation::dir() const { return dir_.wstring() + L"\\"; }
std::wstring CoreInstallation::base() const { return base_.wstring() + L"\\"; }

void CoreInstallation::sign() {
  const std::string xml = manifestXml(listInstallation(dir_));
  const std::string signedXml = signManifest(xml, devPrivateKey());
  ASSERT_FALSE(signedXml.empty()) << "the development key could not sign";
  writeFile(L"Digest.xml", signedXml);
}

void CoreInstallation::writeFile(const std::wstring& relative, const std::string& bytes) const {
  std::ofstream out(dir_ / relative, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool CoreInstallation::exists(const std::wstring& relative) const {
  return fs::exists(dir_ / relative);
}

std::string CoreInstallation::readFile(const std::wstring& relative) const {
  return readAll(dir_ / relative);
}

std::vector<std::wstring> CoreInstallation::updaterCalls() const {
  std::vector<std::wstring> calls;
  const std::string bytes = readFile(L"updater-calls.txt");
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find(L'\n', start)) != std::wstring::npos; start = nl + 1)
    calls.push_back(text.substr(start, nl - start));
  return calls;
}

Process startProgram(const std::wstring& program, const std::wstring& arguments, bool raw) {
  std::wstring commandLine = raw ? arguments : L"\"" + program + L"\"";
  if (!raw && !arguments.empty()) commandLine += L" " + arguments;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  Process p;
  const std::wstring folder = program.substr(0, program.rfind(L'\\'));
  if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &si, &pi)) {
    ADD_FAILURE() << "cannot start the program: " << GetLastError();
    return p;
  }
  CloseHandle(pi.hThread);
  p.handle.reset(pi.hProcess);
  p.pid = pi.dwProcessId;
  return p;
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

void RunningCoreTest::TearDown() {
  endIfRunning(process_);
  Sleep(100);
  install_.reset();
}

void RunningCoreTest::install(const std::string& luaConfig, const char* page, const char* program) {
  install_ = std::make_unique<CoreInstallation>(luaConfig, program);
  if (page) install_->writeFile(L"page.htm", page);
  install_->sign();
}

HWND RunningCoreTest::run(const std::wstring& arguments) {
  process_ = startProgram(install_->programPath(), arguments);
  HWND window = nullptr;
  EXPECT_TRUE(waitUntil([&] { return (window = findMainWindow(process_.pid)) != nullptr; }))
      << "the main window did not appear";
  WaitForInputIdle(process_.handle.get(), 10000);
  return window;
}

std::string RunningCoreTest::fileText(const std::wstring& relative) const {
  return install_->exists(relative) ? install_->readFile(relative) : std::string();
}

bool minimiseWindow(HWND window) {
  Sleep(500);  // most late restores follow within this time of the first show
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (!IsIconic(window)) ShowWindow(window, SW_MINIMIZE);
    if (!waitUntil([&] { return IsIconic(window) != FALSE; }, 3000)) continue;
    if (!waitUntil([&] { return IsIconic(window) == FALSE; }, 1000)) return true;
  }
  return false;
}

HWND findMainWindow(DWORD pid) { return search({pid, L"Delmora网银助手", L"", true, true}); }

HWND findMessageBox(DWORD pid, const std::wstring& caption, const std::wstring& text) {
  return search({pid, caption, text, true});
}

HWND findDialog(DWORD pid, const std::wstring& caption) { return search({pid, caption, L"", true}); }

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

}  // namespace orv::test
