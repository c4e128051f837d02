#pragma once
// Questions about a path, each answered from one look at its attributes, and the removal of a
// folder tree (Windows only). A junction, symbolic link or mount point answers for itself: what
// it names is never asked.
#include <cstdint>
#include <optional>
#include <string>

namespace orv {

// Whether anything has this path: a file, a folder, or a link (also one that names nothing).
bool pathExists(const std::wstring& path);

// Whether the path is a folder. A junction or link to a folder counts as one; isRealFolder
// does not count it.
bool isFolder(const std::wstring& path);

// Whether the path is a folder that is no junction, symbolic link or mount point.
bool isRealFolder(const std::wstring& path);
// The same for attributes already read (a handle's or a listing's; INVALID_FILE_ATTRIBUTES: no).
bool isRealFolder(unsigned long attributes);

// Whether the path itself is a junction, symbolic link or mount point.
bool isReparsePoint(const std::wstring& path);

// The file's size; none when its attributes cannot be read.
std::optional<std::uint64_t> fileSize(const std::wstring& path);

// Removes a folder with everything in it, every name included ("." and ".." are the only
// entries passed over). A path that is not a folder: nothing happens, success. A junction or link
// below the folder is removed itself, never followed. A file or folder that cannot be deleted
// (held open by another program) stays, and so does the folder: nothing is tried twice, and the
// result is false. False, with nothing deleted, when the folder is itself a reparse point, and
// when its listing cannot be started.
bool removeFolderTree(const std::wstring& folder);

}  // namespace orv
