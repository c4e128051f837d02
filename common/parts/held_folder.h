#pragma once
// Folders held open for a program that works inside a folder other programs of the same user
// can change (the user's temporary folder), so that no junction, symbolic link or mount point
// ever redirects what it writes, runs or deletes there, and the removal of a folder tree that
// never follows a link (Windows only).
#include <string>
#include <vector>

#include "scoped_handle.h"

namespace orv {

// Opens a folder itself, never what a reparse point names, with `access` and `sharing`; empty when
// the path is not a folder, is a reparse point (junction, symbolic link, mount point) or cannot
// be opened.
[[nodiscard]] ScopedHandle openRealFolder(const std::wstring& path, unsigned long access,
                                          unsigned long sharing);

// Opens a folder itself, never what a reparse point names, and keeps it: while the handle lives
// the folder cannot be renamed, deleted or moved away (no delete sharing). Empty when the path
// is not a folder, is a reparse point (junction, symbolic link, mount point) or cannot be opened.
[[nodiscard]] ScopedHandle holdRealFolder(const std::wstring& path);

// Removes a junction or link itself, never what it names; false when the path is none or the
// system opens only what it names.
bool removeFolderLink(const std::wstring& path);

// Removes an empty folder, and only when it is a real folder; false otherwise.
bool removeEmptyRealFolder(const std::wstring& path);

// Removes a folder with everything in it, every name included ("." and ".." are the only
// entries passed over). A path that is not a folder: nothing happens, success. A junction or link
// below the folder is removed itself, never followed. A file or folder that cannot be deleted
// (held open by another program) stays, and so does the folder: nothing is tried twice, and the
// result is false. False, with nothing deleted, when the folder is itself a reparse point, and
// when its listing cannot be started.
bool removeFolderTree(const std::wstring& folder);
// What removeFolderTree does to everything inside a folder, the folder itself kept. True when
// nothing stayed.
bool emptyFolder(const std::wstring& folder);

// Every folder from just below a base folder down to a folder inside it, each created when it is
// missing and then held as holdRealFolder holds it, outermost first, so a checked folder's path
// names the checked folder until release.
class HeldFolders {
 public:
  // False, with what this call opened released, when a folder on the way cannot be created,
  // is a reparse point or is not a folder, or the path is not a plain path below the base
  // (foldersBelow). The base itself is neither created nor held.
  bool hold(const std::wstring& base, const std::wstring& folder);
  void release() { held_.clear(); }

 private:
  std::vector<ScopedHandle> held_;
};

}  // namespace orv
