#pragma once
// The About box's version line.
#include <string>

namespace orv::core {

// "Ambrel网银助手版本号：" followed by the version text.
std::wstring aboutVersionText(const std::wstring& version);

}  // namespace orv::core
