#include "version_number.h"

#include <cwctype>
#include <limits>
#include <vector>

namespace orv {

VersionNumber::VersionNumber(std::int32_t major, std::int32_t minor, std::int32_t build,
                             std::int32_t revision)
    : parts_{major, minor, build, revision} {
  text_ = toString();
}

std::int32_t readDecimal(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  std::int64_t value = 0;
  const std::int64_t limit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > limit) value = limit;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max())
    value = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

VersionNumber VersionNumber::parse(const std::wstring& text) {
  const std::wstring withDot = text + L".";
  std::vector<std::wstring> pieces;
  std::size_t start = 0;
  for (std::size_t dot; (dot = withDot.find(L'.', start)) != std::wstring::npos; start = dot + 1)
    pieces.push_back(withDot.substr(start, dot - start));
  VersionNumber v;
  if (pieces.size() != 4) return v;
  for (int k = 0; k < 4; ++k) v.parts_[k] = readDecimal(pieces[k]);
  v.text_ = text;
  return v;
}

std::wstring VersionNumber::toString() const {
  return std::to_wstring(parts_[0]) + L"." + std::to_wstring(parts_[1]) + L"." +
         std::to_wstring(parts_[2]) + L"." + std::to_wstring(parts_[3]);
}

int VersionNumber::compare(const VersionNumber& other) const {
  for (int k = 0; k < 4; ++k) {
    if (parts_[k] != other.parts_[k]) return parts_[k] < other.parts_[k] ? -1 : 1;
  }
  return 0;
}

}  // namespace orv
