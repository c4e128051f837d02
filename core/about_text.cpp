#include "about_text.h"

std::wstring aboutVersionText(const std::wstring& version) {
  return std::wstring(L"Ambrel") + L"网银助手" + L"版本号：" + version;
}
