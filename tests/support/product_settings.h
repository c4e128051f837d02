#pragma once
// The product's settings in the test's Wine prefix (HKLM, 32-bit view), set for one test and put
// back as they were when the object goes: values it changed are restored or removed, and the
// key is removed again when it did not exist before.
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orv::test {

class ProductSettings {
 public:
  // `keyPath` below HKLM; the product's own key by default.
  explicit ProductSettings(std::wstring keyPath = L"");
  ~ProductSettings();
  ProductSettings(const ProductSettings&) = delete;
  ProductSettings& operator=(const ProductSettings&) = delete;

  void setText(const wchar_t* name, const std::wstring& value);
  void setDword(const wchar_t* name, DWORD value);
  void remove(const wchar_t* name);

 private:
  void remember(const wchar_t* name);

  std::wstring path_;
  bool keyExisted_ = false;
  // The value as it was before the first change: type and bytes, or nothing.
  struct Saved {
    DWORD type = 0;
    std::vector<BYTE> bytes;
  };
  std::map<std::wstring, std::optional<Saved>> saved_;
};

}  // namespace orv::test
