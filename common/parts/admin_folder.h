#pragma once
// Folders inside the installed folder that the elevated programs write in (the updater's work
// folders, the logs): made with a DACL set at their creation that admits only Administrators
// and SYSTEM to write (owner Administrators), so that no program of a non-administrator can
// write, plant or replace anything there, and checked by handle (a real folder, owned as
// intended) before anything is written (Windows only).
#include <windows.h>

#include <string>

#include "folder_access.h"
#include "scoped_handle.h"

namespace orv {

// Who may own such a folder. Only Administrators and SYSTEM: an owner may always change the
// DACL. The test builds also accept this process's own user, since under Wine, which keeps no
// security descriptors, every file reads back as owned by it.
enum class FolderOwners { kAdministrators, kAdministratorsOrOwnUser };

// A security descriptor built from SDDL, for creating folders and for setting a DACL again.
class FolderDescriptor {
 public:
  explicit FolderDescriptor(const wchar_t* sddl);
  bool valid() const { return memory_.valid(); }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }
  PACL dacl() const;

 private:
  ScopedLocalMemory memory_;
  SECURITY_ATTRIBUTES attributes_ = {};
};

// The folder itself, never what a reparse point names, held without delete sharing, with the
// rights to read and set its DACL, when it is a real folder with an accepted owner; empty
// otherwise.
[[nodiscard]] ScopedHandle openAdminFolder(const std::wstring& path, FolderOwners owners);

// Makes the folder with the descriptor, or takes an existing one that openAdminFolder accepts
// and sets the descriptor's DACL on it again. The folder held, or empty when a step fails:
// nothing may be written there then.
[[nodiscard]] ScopedHandle makeOrCheckAdminFolder(const std::wstring& path,
                                                  FolderDescriptor& descriptor,
                                                  FolderOwners owners);

// The owner and DACL of the object a handle names, as SDDL ("O:BAD:P(A;OICI;FA;;;BA)…"); empty
// when they cannot be read. The handle needs READ_CONTROL.
std::wstring securitySddl(HANDLE object);

// The installed folder as the updater checks it at the start of every attempt: opened itself
// (never what a reparse point names; a link or junction is kUnreadable), its descriptor read by
// handle and judged by folderAccess (folder_access.h). With kAdministratorsOrOwnUser this
// process's user is trusted too (the test builds under Wine, where it owns every file).
FolderAccess installedFolderAccess(const std::wstring& path, FolderOwners owners);

}  // namespace orv
