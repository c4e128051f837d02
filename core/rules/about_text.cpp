#include "about_text.h"

#include "core_texts.h"

std::wstring aboutVersionText(const std::wstring& version) {
  return orv::core::kAboutVersionPrefix + version;
}
