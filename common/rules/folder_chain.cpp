#include "folder_chain.h"

#include <algorithm>

namespace orv {
namespace {

bool componentNamesItself(const std::wstring& name) {
  if (name == L"." || name == L"..") return false;
  if (name.find_first_of(L":/") != std::wstring::npos) return false;
  return name.back() != L'.' && name.back() != L' ';
}

}  // namespace

std::optional<std::vector<std::wstring>> foldersBelow(const std::wstring& base,
                                                      const std::wstring& folder) {
  std::wstring prefix = base;
  while (!prefix.empty() && prefix.back() == L'\\') prefix.pop_back();
  if (prefix.empty() || folder.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const std::wstring rest = folder.substr(prefix.size());
  if (!rest.empty() && rest.front() != L'\\') return std::nullopt;  // "C:\T" is not "C:\Tx"

  std::vector<std::wstring> chain;
  std::wstring path = prefix;
  for (std::size_t at = 0; at < rest.size();) {
    const std::size_t end = std::min(rest.find(L'\\', at), rest.size());
    const std::wstring name = rest.substr(at, end - at);
    at = end + 1;
    if (name.empty()) continue;
    if (!componentNamesItself(name)) return std::nullopt;
    path += L"\\" + name;
    chain.push_back(path);
  }
  return chain;
}

}  // namespace orv
