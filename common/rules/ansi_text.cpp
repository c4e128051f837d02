#include "ansi_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace orv {

namespace {

constexpr unsigned long kReplacement = 0xFFFD;

void appendUtf8(std::string& out, unsigned long c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendWide(std::wstring& out, unsigned long c) {
  if (sizeof(wchar_t) == 2 && c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 | (c >> 10));
    out += static_cast<wchar_t>(0xDC00 | (c & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

bool isSurrogate(unsigned long c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

#ifdef _WIN32

std::string toNarrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                          nullptr, nullptr) != n)
    return std::string();
  return out;
}

std::wstring toWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n) != n)
    return std::wstring();
  return out;
}

#else  // UTF-8 stands in for the ANSI code page on Linux.

std::string toNarrow(const std::wstring& text) { return toUtf8(text); }
std::wstring toWide(const std::string& text) { return fromUtf8(text); }

#endif

std::string toUtf8(const std::wstring& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned long c = static_cast<unsigned long>(text[i]);
    if (sizeof(wchar_t) == 2) c &= 0xFFFF;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const unsigned long low = static_cast<unsigned long>(text[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (isSurrogate(c) || c > 0x10FFFF) c = kReplacement;
    appendUtf8(out, c);
  }
  return out;
}

std::wstring fromUtf8(const std::string& text) {
  std::wstring out;
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    const int extra = b < 0x80                ? 0
                      : b >= 0xC2 && b < 0xE0 ? 1
                      : b >= 0xE0 && b < 0xF0 ? 2
                      : b >= 0xF0 && b < 0xF5 ? 3
                                              : -1;
    unsigned long c = extra <= 0 ? b : (b & (0x3F >> extra));
    bool ok = extra >= 0 && i + extra < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const unsigned char t = static_cast<unsigned char>(text[i + k]);
      ok = (t >> 6) == 2;
      c = (c << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    static const unsigned long kLeast[] = {0, 0x80, 0x800, 0x10000};
    ok = ok && c >= kLeast[extra] && !isSurrogate(c) && c <= 0x10FFFF;
    appendWide(out, ok ? c : kReplacement);
    i += ok ? extra + 1 : 1;
  }
  return out;
}

}  // namespace orv
