#include "about_text.h"

#include "core_texts.h"

namespace orv::core {

std::wstring aboutVersionText(const std::wstring& version) { return kAboutVersionPrefix + version; }

}  // namespace orv::core
