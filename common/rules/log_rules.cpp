#include "log_rules.h"

#include <cstdio>

#include "ansi_text.h"

namespace orv {
namespace {

std::wstring field(const std::wstring& text) {
  if (text.empty()) return L"-";
  std::wstring word = text;
  for (wchar_t& c : word)
    if (c == L' ' || c < 0x20 || c == 0x7F) c = L'_';
  return word;
}

std::wstring stem(const std::wstring& programFile) {
  const std::size_t dot = programFile.rfind(L'.');
  return dot == std::wstring::npos ? programFile : programFile.substr(0, dot);
}

}  // namespace

std::string logLine(const LogTime& time, const std::wstring& version, const std::wstring& attempt,
                    const std::wstring& code, const std::wstring& text) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02dZ", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return std::string(stamp) + " " +
         toUtf8(field(version) + L" " + field(attempt) + L" " + field(code) + L" " +
                logText(text)) +
         "\r\n";
}

std::wstring logText(const std::wstring& text) {
  const bool cut = text.size() > kLogTextLimit;
  std::wstring line = cut ? text.substr(0, kLogTextLimit) : text;
  for (wchar_t& c : line)
    if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) c = L' ';
  return cut ? line + L"..." : line;
}

std::wstring loggedOptions(const std::vector<std::wstring>& tokens) {
  std::wstring options;
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const std::wstring& token = tokens[i];
    if (token.empty() || (token[0] != L'-' && token[0] != L'/')) continue;
    const std::wstring name = token.substr(0, token.find_first_of(L"=:"));
    options += (options.empty() ? L"" : L" ") + logText(name);
  }
  return options.empty() ? L"(none)" : options;
}

bool logIsFull(std::uint64_t fileSize, std::size_t lineSize, std::uint64_t bound) {
  return fileSize > 0 && fileSize + lineSize > bound;
}

std::string logAppendBytes(const std::string& line, std::uint64_t fileSize, char lastByte) {
  return fileSize > 0 && lastByte != '\n' ? "\r\n" + line : line;
}

std::wstring logFileName(const std::wstring& programFile) { return stem(programFile) + L".log"; }

std::wstring olderLogFileName(const std::wstring& programFile) {
  return stem(programFile) + L".old.log";
}

std::wstring attemptIdText(std::uint32_t id) {
  wchar_t text[9];
  std::swprintf(text, 9, L"%08x", static_cast<unsigned>(id));
  return text;
}

}  // namespace orv
