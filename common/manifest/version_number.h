#pragma once
// A four-part version "major.minor.build.revision", as written in manifests and in the registry.
#include <cstdint>
#include <string>

namespace orv {

class VersionNumber {
 public:
  VersionNumber() = default;
  VersionNumber(std::int32_t major, std::int32_t minor, std::int32_t build, std::int32_t revision);

  // Cuts the text at each "." (after appending one "."); exactly four pieces, each read like
  // _wtoi, give the numbers and keep the text. Any other count gives 0.0.0.0 and an empty text.
  static VersionNumber parse(const std::wstring& text);

  std::int32_t major() const { return parts_[0]; }
  std::int32_t minor() const { return parts_[1]; }
  std::int32_t build() const { return parts_[2]; }
  std::int32_t revision() const { return parts_[3]; }
  const std::wstring& text() const { return text_; }
  // The four numbers joined by dots, whatever text they came from.
  std::wstring toString() const;

  friend bool operator==(const VersionNumber& a, const VersionNumber& b) {
    return a.compare(b) == 0;
  }
  friend bool operator!=(const VersionNumber& a, const VersionNumber& b) {
    return a.compare(b) != 0;
  }
  friend bool operator<(const VersionNumber& a, const VersionNumber& b) { return a.compare(b) < 0; }
  friend bool operator>(const VersionNumber& a, const VersionNumber& b) { return a.compare(b) > 0; }
  friend bool operator<=(const VersionNumber& a, const VersionNumber& b) {
    return a.compare(b) <= 0;
  }
  friend bool operator>=(const VersionNumber& a, const VersionNumber& b) {
    return a.compare(b) >= 0;
  }

 private:
  int compare(const VersionNumber& other) const;

  std::int32_t parts_[4] = {0, 0, 0, 0};
  std::wstring text_;
};

// Reads a decimal integer the way _wtoi does: leading blanks, an optional sign, digits up to the
// first non-digit; no digits give 0. Out-of-range values saturate instead of overflowing.
std::int32_t readDecimal(const std::wstring& text);

}  // namespace orv
