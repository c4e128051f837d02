#pragma once
// The About box's version line.
#include <string>

// "Ambrel网银助手版本号：" followed by the version text.
std::wstring aboutVersionText(const std::wstring& version);
