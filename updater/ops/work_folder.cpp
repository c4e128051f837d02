#include "work_folder.h"

#include <objbase.h>
#include <sddl.h>
#include <aclapi.h>

#include "file_system.h"
#include "held_folder.h"
#include "path_join.h"
#include "trace.h"

namespace orv::updater {

const wchar_t kWorkFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

namespace {

constexpr wchar_t kTag[] = L"workFolder";

// The descriptor built from kWorkFolderSddl, for creating folders and for setting a DACL again.
class WorkFolderDescriptor {
 public:
  WorkFolderDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kWorkFolderSddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
      traceFailure(kTag, L"ConvertStringSecurityDescriptorToSecurityDescriptor");
      return;
    }
    memory_.reset(descriptor);
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor;
    attributes_.bInheritHandle = FALSE;
  }
  bool valid() const { return memory_.valid(); }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }
  PACL dacl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(memory_.get(), &present, &dacl, &defaulted);
    return present ? dacl : nullptr;
  }

 private:
  ScopedLocalMemory memory_;
  SECURITY_ATTRIBUTES attributes_ = {};
};

// The folder itself, never what a reparse point names, held without delete sharing, with the
// rights to read and set its DACL; empty unless it is a real folder.
ScopedHandle openOwnFolder(const std::wstring& path) {
  return openRealFolder(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC,
                        FILE_SHARE_READ | FILE_SHARE_WRITE);
}

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
bool ownerAccepted(HANDLE folder, const std::wstring& path, WorkFolderOwners owners) {
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
  if (owner && owners == WorkFolderOwners::kAdministratorsOrOwnUser && isOwnUser(owner))
    return true;
  traceLine(kTag, path + L" is not owned by Administrators or SYSTEM");
  return false;
}

// Makes the folder with the work folders' descriptor; an existing one must be a real folder
// owned by Administrators or SYSTEM, and gets the descriptor's DACL again.
ScopedHandle makeOrCheckParent(const std::wstring& path, WorkFolderDescriptor& descriptor,
                               WorkFolderOwners owners) {
  const bool made = CreateDirectoryW(path.c_str(), descriptor.attributes()) != FALSE;
  if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
    traceFailure(kTag, L"CreateDirectory " + path);
    return ScopedHandle();
  }
  ScopedHandle parent = openOwnFolder(path);
  if (!parent || !ownerAccepted(parent.get(), path, owners)) return ScopedHandle();
  if (!made && SetSecurityInfo(parent.get(), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                               nullptr, nullptr, descriptor.dacl(), nullptr) != ERROR_SUCCESS) {
    traceLine(kTag, L"the DACL of " + path + L" cannot be set");
    return ScopedHandle();
  }
  return parent;
}

// A name no one can have chosen in advance: 128 random bits.
std::wstring uniqueName() {
  GUID guid = {};
  if (FAILED(CoCreateGuid(&guid))) return std::wstring();
  wchar_t text[40];
  swprintf(text, 40, L"%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
           static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
           guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
           guid.Data4[7]);
  return text;
}

// What earlier attempts could not remove goes now; what still stays (a file another program
// holds) is left for a later attempt and never stops this one.
void removeLeftovers(const std::wstring& parent) {
  if (!emptyFolder(parent)) traceLine(kTag, L"left for a later attempt: some of " + parent);
}

}  // namespace

std::unique_ptr<WorkFolder> WorkFolder::create(const std::wstring& parentPath,
                                               WorkFolderOwners owners) {
  WorkFolderDescriptor descriptor;
  if (!descriptor.valid()) return nullptr;
  ScopedHandle parent = makeOrCheckParent(parentPath, descriptor, owners);
  if (!parent) return nullptr;
  removeLeftovers(parentPath);

  const std::wstring name = uniqueName();
  if (name.empty()) {
    traceLine(kTag, L"no unique name");
    return nullptr;
  }
  const std::wstring path = joinPath(parentPath, name);
  // Made here and now, or not at all: an existing folder of that name is no work folder.
  if (!CreateDirectoryW(path.c_str(), descriptor.attributes())) {
    traceFailure(kTag, L"CreateDirectory " + path);
    return nullptr;
  }
  ScopedHandle folder = openOwnFolder(path);
  if (!folder || !ownerAccepted(folder.get(), path, owners)) {
    if (!folder) removeFolderTree(path);
    return nullptr;
  }
  return std::unique_ptr<WorkFolder>(
      new WorkFolder(parentPath, path, std::move(parent), std::move(folder)));
}

bool WorkFolder::holdFolderOf(const std::wstring& filePath) {
  const std::wstring folder = filePath.substr(0, filePath.rfind(L'\\'));
  return folder == path_ || below_.hold(path_, folder);
}

bool WorkFolder::remove() {
  if (removed_) return true;
  below_.release();
  folder_.reset();
  removed_ = removeFolderTree(path_) && !pathExists(path_);
  if (!removed_) traceLine(kTag, L"left for a later attempt: " + path_);
  parent_.reset();
  if (removed_) removeEmptyRealFolder(parentPath_);  // fails, as it should, when not empty
  return removed_;
}

std::wstring folderSecuritySddl(const std::wstring& path) {
  const ScopedHandle folder(CreateFileW(
      path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) return std::wstring();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (GetSecurityInfo(folder.get(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr,
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

}  // namespace orv::updater
