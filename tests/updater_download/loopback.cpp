#include "loopback.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "downloader.h"
#include "processes.h"
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
  // The log comes through the downloader itself, which never leaves a copy in the cache; an
  // empty log is a file of zero bytes, which the downloader counts as no file.
  const TempDir scratch;
  const std::filesystem::path local = scratch / "server-log.txt";
  updater::DownloadOneFile(serverBase("http") + L"_log", local.wstring(), 0);
  if (!fileThere(local)) {
    ADD_FAILURE() << "cannot read the server's log";
    return std::string();
  }
  return readFile(local);
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

long runProcess(const std::wstring& commandLine, unsigned long timeoutMs) {
  const CapturedRun run = runCapturingOutput(commandLine, L"", timeoutMs);
  return run.started ? static_cast<long>(run.exitCode) : -1000;
}

bool waitForFile(const std::filesystem::path& path, unsigned long timeoutMs) {
  return waitUntil([&] { return fileThere(path); }, timeoutMs);
}

std::wstring readWideFile(const std::filesystem::path& path) {
  const std::string bytes = readFile(path);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                      bytes.size() / sizeof(wchar_t));
}

}  // namespace orv::test
