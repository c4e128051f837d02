#include "command_line.h"

namespace orv {
namespace {
bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
}  // namespace

bool splitCommandLine(const std::wstring& text, std::vector<std::wstring>& args) {
  if (text.empty()) return false;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    while (i < n && isBlank(text[i])) ++i;
    if (i == n) break;
    if (text[i] == L'"') {
      const std::size_t start = ++i;
      while (i < n && text[i] != L'"') ++i;
      std::wstring arg = text.substr(start, i - start);
      if (i < n) ++i;  // the closing quote
      bool hasContent = false;
      for (wchar_t c : arg) hasContent = hasContent || !isBlank(c);
      if (hasContent) args.push_back(arg);
    } else {
      const std::size_t start = i;
      while (i < n && !isBlank(text[i])) ++i;
      args.push_back(text.substr(start, i - start));
    }
  }
  return true;
}

bool readProgramTokens(const wchar_t* commandLine, bool tokensRequired,
                       std::vector<std::wstring>& tokens) {
  if (!commandLine || !*commandLine) return false;
  splitCommandLine(commandLine, tokens);
  return !(tokensRequired && tokens.empty());
}

std::wstring quoteProgramPath(const std::wstring& path) {
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') return path;
  return L"\"" + path + L"\"";
}

}  // namespace orv
