#pragma once
// Questions about a path, each answered from one look at its attributes (Windows only); the
// removal of a folder tree is with the held folders (held_folder.h). A junction, symbolic link or
// mount point answers for itself: what it names is never asked.
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

}  // namespace orv
