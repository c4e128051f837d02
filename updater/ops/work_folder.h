#pragma once
// The elevated updater's own folder for one attempt. Everything the attempt writes (the manifests
// it fetches, the listed files, the setup program, the hand-over's new updater) goes there and
// nowhere else: a folder made new under a unique name, with a DACL set at its creation that
// admits only Administrators and SYSTEM (owner Administrators), below a parent made and kept the
// same way, so that no program of a non-administrator can write, plant or replace anything there.
// Both are checked by handle (a real folder, owned as intended) and held without delete sharing
// while the attempt runs. The work folder is removed with everything in it at every end; work
// folders that earlier attempts could not remove are removed when the next one begins.
#include <windows.h>

#include <memory>
#include <string>

#include "admin_folder.h"
#include "held_folder.h"
#include "scoped_handle.h"

namespace orv::updater {

// The work folders' security descriptor (SDDL): owner Administrators, a protected DACL that
// gives full access to Administrators and SYSTEM alone, inherited by everything made inside.
extern const wchar_t kWorkFolderSddl[];

// Who may own a work folder and its parent (admin_folder.h).
using WorkFolderOwners = FolderOwners;

class WorkFolder {
 public:
  // Makes `parent` (or checks an existing one: a real folder with an accepted owner, whose DACL
  // is then set again), removes what earlier attempts left in it, and makes a fresh work folder
  // below it. Null when a step fails: nothing may be written then.
  static std::unique_ptr<WorkFolder> create(
      const std::wstring& parent, WorkFolderOwners owners = WorkFolderOwners::kAdministrators);
  ~WorkFolder() { remove(); }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  const std::wstring& path() const { return path_; }
  // Every folder from the work folder down to the file's, made when missing and held.
  bool holdFolderOf(const std::wstring& filePath);
  // Lets go of the folders and removes the work folder with everything in it, and the parent too
  // when nothing else is in it (an uninstaller then finds only its own files); true when the work
  // folder is gone. Also for the hand-over, which ends the process without unwinding.
  bool remove();

 private:
  WorkFolder(std::wstring parentPath, std::wstring path, ScopedHandle parent, ScopedHandle folder)
      : parentPath_(std::move(parentPath)),
        path_(std::move(path)),
        parent_(std::move(parent)),
        folder_(std::move(folder)) {}

  std::wstring parentPath_;
  std::wstring path_;
  ScopedHandle parent_;  // held while the work folder exists: its path keeps naming it
  ScopedHandle folder_;
  HeldFolders below_;
  bool removed_ = false;
};

// A folder's owner and DACL as SDDL ("O:BAD:P(A;OICI;FA;;;BA)…"), read through a handle on the
// folder itself; empty when they cannot be read. The tests read the work folders' back.
std::wstring folderSecuritySddl(const std::wstring& path);

}  // namespace orv::updater
