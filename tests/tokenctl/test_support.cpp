#include "test_support.h"

#include <fstream>
#include <sstream>

#include "ansi_text.h"

namespace orv::test {

std::wstring winPath(const std::string& linuxPath) {
  std::wstring path = L"Z:" + orv::toWide(linuxPath);
  for (auto& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

std::wstring controlDll() { return winPath(ORV_TOKENCTL_DLL); }
std::wstring middlewareFolder() { return winPath(ORV_SOFTTOKEN_DIR); }
std::wstring certificate(const char* name) {
  return winPath(std::string(ORV_TOKENCTL_CERTS) + "/" + name);
}
std::wstring mutexHolder() { return winPath(ORV_MUTEX_HOLDER); }

namespace {
void removeTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeTree(path);
      else
        ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(folder.c_str());
}
}  // namespace

std::wstring freshFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring root = std::wstring(temp) + L"orv_tokenctl";
  ::CreateDirectoryW(root.c_str(), nullptr);
  const std::wstring folder = root + L"\\" + name;
  removeTree(folder);
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

void writeFile(const std::wstring& path, const std::string& content) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out << content;
}

std::string readFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

ProcessResult runProcess(const std::wstring& commandLine, const std::wstring& folder) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process = {};
  std::wstring line = commandLine;
  result.started =
      ::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process) != FALSE;
  ::CloseHandle(writeEnd);
  if (result.started) {
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
      result.output.append(buffer, n);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(readEnd);
  return result;
}

std::string tokenConfig(const std::vector<TokenSetup>& tokens, bool refuseInitialize) {
  std::ostringstream out;
  if (refuseInitialize) out << "refuse_initialize=1\n";
  for (const TokenSetup& t : tokens) {
    out << "[token]\nslot=" << t.slot << "\nlabel=" << t.label << "\nserial=" << t.serial
        << "\npin=" << t.pin << "\nattempts=" << t.attempts << "\nhardware=" << t.hardware << "\n";
    if (!t.cert.empty()) out << "cert=" << orv::toNarrow(t.cert) << "\n";
    if (!t.present) out << "present=0\n";
    if (!t.infoReadable) out << "info=unreadable\n";
    if (!t.counterReadable) out << "counter=unreadable\n";
  }
  return out.str();
}

std::string tokenConfigRefusingFirst(const std::vector<TokenSetup>& tokens, unsigned refusals) {
  return "refuse_initialize_times=" + std::to_string(refusals) + "\n" + tokenConfig(tokens);
}

std::string tokenValue(const std::wstring& configPath, unsigned long slot, const std::string& key) {
  std::istringstream in(readFile(configPath));
  std::string line;
  bool inSlot = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "[token]") {
      inSlot = false;
      continue;
    }
    if (line == "slot=" + std::to_string(slot)) inSlot = true;
    if (inSlot && line.compare(0, key.size() + 1, key + "=") == 0)
      return line.substr(key.size() + 1);
  }
  return "<missing>";
}

}  // namespace orv::test
