#include "page_address.h"

namespace orv {

std::wstring plainPageAddress(const std::wstring& address) {
  std::wstring plain;
  plain.reserve(address.size());
  for (wchar_t c : address) {
    if (c == L'\\') c = L'/';
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    plain += c;
  }
  for (const wchar_t* prefix : {L"file:///", L"file://"}) {
    const std::wstring p(prefix);
    if (plain.compare(0, p.size(), p) == 0) {
      plain.erase(0, p.size());
      break;
    }
  }
  return plain;
}

bool samePageAddress(const std::wstring& requested, const std::wstring& reported) {
  if (requested.empty() || reported.empty()) return false;
  return plainPageAddress(requested) == plainPageAddress(reported);
}

}  // namespace orv
