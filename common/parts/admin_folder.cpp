#include "admin_folder.h"

#include <sddl.h>
#include <aclapi.h>

#include <vector>

#include "held_folder.h"
#include "trace.h"

namespace orv {
namespace {

constexpr wchar_t kTag[] = L"adminFolder";

// This process's user, for the test builds' owner rule; false when it cannot be read.
bool readOwnUser(unsigned char (&buffer)[256]) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const ScopedHandle token(raw);
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size) != FALSE;
}

bool isOwnUser(PSID sid) {
  unsigned char buffer[256];
  return readOwnUser(buffer) &&
         EqualSid(sid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) != FALSE;
}

// This process's user as a SID string; empty when it cannot be read.
std::wstring ownUserSidText() {
  unsigned char buffer[256];
  LPWSTR text = nullptr;
  if (!readOwnUser(buffer) ||
      !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
    return std::wstring();
  const ScopedLocalMemory held(text);
  return text;
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

std::wstring securitySddl(HANDLE object) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (GetSecurityInfo(object, SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return std::wstring();
  const ScopedLocalMemory held(descriptor);
  LPWSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what,
                                                            &text, nullptr))
    return std::wstring();
  const ScopedLocalMemory heldText(text);
  return text;
}

FolderAccess installedFolderAccess(const std::wstring& path, FolderOwners owners) {
  const ScopedHandle folder =
      openRealFolder(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!folder) {
    traceLine(kTag, path + L" is no real folder");
    return FolderAccess::kUnreadable;
  }
  std::vector<std::wstring> alsoTrusted;
  if (owners == FolderOwners::kAdministratorsOrOwnUser) alsoTrusted.push_back(ownUserSidText());
  const std::wstring sddl = securitySddl(folder.get());
  const FolderAccess access = folderAccess(sddl, alsoTrusted);
  if (access != FolderAccess::kAdministratorsOnly)
    traceLine(kTag, path + L": " + folderAccessText(access) + L" (" + sddl + L")");
  return access;
}

}  // namespace orv
