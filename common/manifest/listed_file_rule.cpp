#include "listed_file_rule.h"

#include "path_join.h"

namespace orv {
namespace {

wchar_t asciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

bool sameAsciiNoCase(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (asciiUpper(a[i]) != b[i]) return false;
  return i == a.size() && !b[i];
}

// Windows opens a device for these whatever follows the first dot ("NUL.txt", "com1 .log").
bool isDeviceName(const std::wstring& name) {
  std::wstring stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
    if (sameAsciiNoCase(stem, device)) return true;
  if (stem.size() != 4) return false;
  const std::wstring prefix = stem.substr(0, 3);
  const wchar_t digit = stem[3];
  // Superscript one, two and three count as digits for these names.
  const bool isDigit = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' ||
                       digit == L'\u00B2' || digit == L'\u00B3';
  return isDigit && (sameAsciiNoCase(prefix, L"COM") || sameAsciiNoCase(prefix, L"LPT"));
}

bool isPlainName(const std::wstring& name) {
  if (name.empty()) return false;
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::wstring(L"<>:\"|?*").find(c) != std::wstring::npos) return false;
  }
  const wchar_t last = name.back();
  if (last == L'.' || last == L' ') return false;  // also "." and ".."
  return !isDeviceName(name);
}

// Windows compares names without regard to case; the letters a manifest can reasonably use.
wchar_t foldCase(wchar_t c) {
  if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
      (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F) ||
      (c >= 0xFF41 && c <= 0xFF5A))
    return static_cast<wchar_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 0x50);
  return c;
}

}  // namespace

bool listedFileIsSafe(const std::wstring& path, const std::wstring& fileName) {
  if (fileName.find_first_of(L"\\/") != std::wstring::npos || !isPlainName(fileName)) return false;
  if (path.empty()) return true;
  if (path.find(L'/') != std::wstring::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find(L'\\', start);
    if (!isPlainName(path.substr(start, end == std::wstring::npos ? end : end - start)))
      return false;  // an empty component also catches rooted and UNC paths
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

std::wstring listedFileIdentity(const std::wstring& path, const std::wstring& fileName) {
  std::wstring identity = joinPath(path, fileName);
  for (wchar_t& c : identity) c = foldCase(c);
  return identity;
}

}  // namespace orv
