#include "loopback.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "downloader.h"
#include "test_files.h"

namespace orv::test {

std::wstring serverBase(const char* which) {
  std::string var = std::string("ORV_TEST_") + which + "_PORT";
  for (char& c : var) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const char* port = std::getenv(var.c_str());
  EXPECT_NE(port, nullptr) << var << " is not set: run through run_with_server.sh";
  const std::wstring scheme = std::string(which) == "http" ? L"http" : L"https";
  std::string p = port ? port : "1";
  return scheme + L"://127.0.0.1:" + std::wstring(p.begin(), p.end()) + L"/";
}

std::filesystem::path servedFolder() {
  const char* folder = std::getenv("ORV_TEST_SERVED_FILES");
  EXPECT_NE(folder, nullptr);
  return hostPath(folder ? folder : "/nonexistent");
}

std::string serverLog() {
  // The log comes through the WinINet client itself, which never touches the cache.
  static int n = 0;
  const std::filesystem::path local =
      std::filesystem::temp_directory_path() / ("orv-server-log-" + std::to_string(++n) + ".txt");
  std::uint32_t bytes = 0;
  if (DownloadFile_Https(serverBase("http") + L"_log", local.wstring(), &bytes) != kHttpsOk) {
    ADD_FAILURE() << "cannot read the server's log";
    return std::string();
  }
  std::string log = readFile(local);
  std::filesystem::remove(local);
  return log;
}

int requestCount(const std::string& path) {
  std::istringstream lines(serverLog());
  int count = 0;
  for (std::string line; std::getline(lines, line);)
    if (line == path) ++count;
  return count;
}

std::string patternBytes(std::size_t size) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(((i % 65536) * 7 + 13) % 251);
  return out;
}

bool underWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool fileThere(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace orv::test

#include <thread>
#include <vector>

#include "win/scoped_handle.h"

namespace orv::test {

long runProcess(const std::wstring& commandLine, unsigned long timeoutMs) {
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return -1000;
  ScopedHandle process(pi.hProcess);
  ScopedHandle thread(pi.hThread);
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    return -1000;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<long>(code);
}

bool waitForFile(const std::filesystem::path& path, unsigned long timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!fileThere(path)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::wstring readWideFile(const std::filesystem::path& path) {
  const std::string bytes = readFile(path);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                      bytes.size() / sizeof(wchar_t));
}

}  // namespace orv::test

namespace orv::test {

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

std::string debugOutputOf(const std::wstring& commandLine) {
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                      nullptr, nullptr, &si, &pi))
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
