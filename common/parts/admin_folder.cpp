#include "admin_folder.h"

#include <sddl.h>
#include <aclapi.h>

#include "held_folder.h"
#include "trace.h"

namespace orv {
namespace {

constexpr wchar_t kTag[] = L"adminFolder";

// This process's user, for the test builds' owner rule.
bool isOwnUser(PSID sid) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const ScopedHandle token(raw);
  unsigned char buffer[256];
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) return false;
  return EqualSid(sid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) != FALSE;
}

// Only Administrators or SYSTEM may own the folder: an owner may always change its DACL.
bool ownerAccepted(HANDLE folder, const std::wstring& path, FolderOwners owners) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    traceLine(kTag, L"the owner of " + path + L" cannot be read");
    return false;
  }
  const ScopedLocalMemory held(descriptor);
  if (owner && (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                IsWellKnownSid(owner, WinLocalSystemSid)))
    return true;
  if (owner && owners == FolderOwners::kAdministratorsOrOwnUser && isOwnUser(owner)) return true;
  traceLine(kTag, path + L" is not owned by Administrators or SYSTEM");
  return false;
}

}  // namespace

FolderDescriptor::FolderDescriptor(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    traceFailure(kTag, L"ConvertStringSecurityDescriptorToSecurityDescriptor");
    return;
  }
  memory_.reset(descriptor);
  attributes_.nLength = sizeof(attributes_);
  attributes_.lpSecurityDescriptor = descriptor;
  attributes_.bInheritHandle = FALSE;
}

PACL FolderDescriptor::dacl() const {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(memory_.get(), &present, &dacl, &defaulted);
  return present ? dacl : nullptr;
}

ScopedHandle openAdminFolder(const std::wstring& path, FolderOwners owners) {
  ScopedHandle folder =
      openRealFolder(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC,
                     FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!folder || !ownerAccepted(folder.get(), path, owners)) return ScopedHandle();
  return folder;
}

ScopedHandle makeOrCheckAdminFolder(const std::wstring& path, FolderDescriptor& descriptor,
                                    FolderOwners owners) {
  if (!descriptor.valid()) return ScopedHandle();
  const bool made = CreateDirectoryW(path.c_str(), descriptor.attributes()) != FALSE;
  if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
    traceFailure(kTag, L"CreateDirectory " + path);
    return ScopedHandle();
  }
  ScopedHandle folder = openAdminFolder(path, owners);
  if (!folder) return ScopedHandle();
  if (!made && SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                               nullptr, nullptr, descriptor.dacl(), nullptr) != ERROR_SUCCESS) {
    traceLine(kTag, L"the DACL of " + path + L" cannot be set");
    return ScopedHandle();
  }
  return folder;
}

}  // namespace orv
