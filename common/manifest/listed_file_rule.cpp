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

// "ABCDEF~1.TXT": the form of the short names Windows makes for long ones. A listed name of that
// form may be another file's short name, so creating it can reach that file.
bool isShortNameForm(const std::wstring& name) {
  const std::size_t dot = name.find(L'.');
  const std::wstring stem = name.substr(0, dot);
  const std::size_t extension = dot == std::wstring::npos ? 0 : name.size() - dot - 1;
  const bool secondDot = dot != std::wstring::npos && name.find(L'.', dot + 1) != std::wstring::npos;
  if (stem.size() > 8 || extension > 3 || secondDot) return false;
  const std::size_t tilde = stem.rfind(L'~');
  if (tilde == std::wstring::npos || tilde == 0 || tilde + 1 == stem.size()) return false;
  for (std::size_t i = tilde + 1; i < stem.size(); ++i)
    if (stem[i] < L'0' || stem[i] > L'9') return false;
  return true;
}

bool isPlainName(const std::wstring& name) {
  if (name.empty()) return false;
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::wstring(L"<>:\"|?*").find(c) != std::wstring::npos) return false;
  }
  const wchar_t last = name.back();
  if (last == L'.' || last == L' ') return false;  // also "." and ".."
  return !isDeviceName(name) && !isShortNameForm(name);
}

// Windows' file systems compare names through an upper-case table of their own; this one folds
// every UTF-16 code unit that has a one-character upper case, which folds at least as much.
struct CaseRun {
  unsigned first, last, step;
  int delta;
};
constexpr CaseRun kCaseRuns[] = {
#include "case_table.inc"
};

wchar_t foldCase(wchar_t c) {
  const unsigned u = static_cast<unsigned>(c);
  for (const CaseRun& run : kCaseRuns) {
    if (u < run.first) break;  // the runs are in order
    if (u <= run.last && (u - run.first) % run.step == 0)
      return static_cast<wchar_t>(static_cast<int>(u) + run.delta);
  }
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
