#include "test_support.h"

#include <shlobj.h>

#include <filesystem>
#include <sstream>

#include "ansi_text.h"

namespace orv::test {

namespace {
std::wstring winPath(const std::string& linuxPath) { return hostPath(linuxPath).wstring(); }
}  // namespace

std::wstring controlDll() { return winPath(ORV_TOKENCTL_DLL); }
std::wstring middlewareFolder() { return winPath(ORV_SOFTTOKEN_DIR); }
std::wstring certificate(const char* name) {
  return winPath(std::string(ORV_TOKENCTL_CERTS) + "/" + name);
}
std::wstring mutexHolder() { return winPath(ORV_MUTEX_HOLDER); }

std::string controlLog() {
  wchar_t local[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local))) return {};
  const std::filesystem::path log =
      std::filesystem::path(local) / L"Orvalinex" / L"Logs" / L"OstwinAutoCtrl.log";
  return std::filesystem::exists(log) ? readFile(log) : std::string();
}

std::string lastControlLogLine() {
  const std::string log = controlLog();
  if (log.size() < 2) return {};
  const std::size_t start = log.rfind('\n', log.size() - 2);
  return log.substr(start == std::string::npos ? 0 : start + 1);
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
