#include "security_attributes.h"

namespace orv {

namespace {
using ConvertSddlFn = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
// Mandatory label: low integrity, no write-up.
const char kLowIntegritySddl[] = "S:(ML;;NW;;;LW)";
}  // namespace

SecurityAttributes::SecurityAttributes(const OSVersion& version) : version_(version) {
  if (version_.isWindows9x()) return;
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return;
  // A NULL DACL: everyone has full access.
  SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE);
  attributes_.nLength = sizeof(attributes_);
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;

  // Looked up at run time: systems before Vista have no mandatory labels, and the label is an
  // addition, not a requirement.
  advapi_.reset(LoadLibraryW(L"advapi32.dll"));
  if (!advapi_) return;
  auto convert = reinterpret_cast<ConvertSddlFn>(reinterpret_cast<void*>(
      GetProcAddress(advapi_.get(), "ConvertStringSecurityDescriptorToSecurityDescriptorA")));
  if (!convert) return;
  PSECURITY_DESCRIPTOR converted = nullptr;
  if (!convert(kLowIntegritySddl, 1 /* SDDL_REVISION_1 */, &converted, nullptr)) return;
  labelDescriptor_.reset(converted);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL sacl = nullptr;
  if (!GetSecurityDescriptorSacl(labelDescriptor_.get(), &present, &sacl, &defaulted) || !present ||
      !sacl)
    return;
  labelApplied_ = SetSecurityDescriptorSacl(&descriptor_, TRUE, sacl, FALSE) != FALSE;
}

SecurityAttributes::~SecurityAttributes() = default;

SecurityAttributes& processSecurityAttributes() {
  static SecurityAttributes instance;
  return instance;
}

}  // namespace orv
