#include "token_text.h"

#include <cstdio>

namespace orv::tokenctl {

std::string trimTrailingBlanks(const unsigned char* field, std::size_t width) {
  std::size_t n = 0;
  while (n < width && field[n] != 0) ++n;
  while (n > 0 && field[n - 1] == ' ') --n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

std::string serialNumberText(const unsigned char* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = count; i > 0; --i) {
    text.push_back(kDigits[bytes[i - 1] >> 4]);
    text.push_back(kDigits[bytes[i - 1] & 0x0f]);
  }
  return text;
}

std::string dateText(int year, int month, int day) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
  return buffer;
}

std::optional<long> wrongPinResult(unsigned attemptsLeft) {
  if (attemptsLeft == 0) return std::nullopt;
  if (attemptsLeft == 1) return -1;
  return static_cast<long>(attemptsLeft) - 1;
}

}  // namespace orv::tokenctl

namespace orv::tokenctl {

bool equalIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace orv::tokenctl
