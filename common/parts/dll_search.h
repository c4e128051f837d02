#pragma once
// Where the program looks for the libraries it loads by name.

namespace orv {

enum class DllSearch {
  kSystemAndProgramFolders,  // SetDefaultDllDirectories: the system folder and the program's
  kWithoutCurrentFolder,     // Windows 7 without its update KB2533623: the current folder left out
  kUnchanged,                // neither could be set
};

// Restricts the search for libraries loaded by name to the system folder and the program's own
// folder, so that a library planted in the current folder or on the user's PATH is never loaded
// into a program that may run elevated. Called first, before anything is loaded; also makes
// SearchPath leave the current folder for last. Looked up at run time: Windows 7 has
// SetDefaultDllDirectories only with KB2533623.
DllSearch restrictDllSearch();

}  // namespace orv
