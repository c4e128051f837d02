#pragma once
// The updater's naming rules for fetched files, the loader hand-over and the desktop copy.
// Plain text joins: nothing is escaped or normalised. No Windows headers (also built natively).
#include <string>

namespace orv::updater {

// The folder part of a local path: the text before its last backslash; empty without one.
std::wstring targetFolderOf(const std::wstring& localPath);

// Where a file listed in a manifest comes from and goes to:
//   url   = remote base + "/" + remote subfolder + "/" + file name
//   local = directory + "\" + local subfolder + "\" + file name
// With both subfolders empty this gives "//" in the URL and "\\" in the path.
struct ListedFileLocation {
  std::wstring url;
  std::wstring localPath;
};
ListedFileLocation listedFileLocation(const std::wstring& remoteBase, const std::wstring& directory,
                                      const std::wstring& fileName,
                                      const std::wstring& localSubfolder,
                                      const std::wstring& remoteSubfolder);

// The files of the loader hand-over.
struct LoaderPaths {
  std::wstring fetchedLoader;     // loader folder (the attempt's own) + "\" + updater file name
  std::wstring installedUpdater;  // installed folder + "\" + updater file name
};
LoaderPaths loaderPaths(const std::wstring& loaderFolder, const std::wstring& updaterFileName,
                        const std::wstring& installedFolder);

// Executable names compare without regard to case ("ORVALINEXCORE.EXE" is the core host).
bool sameProgramName(const std::wstring& a, const std::wstring& b);

// The page's copy parameter "source,target", split at its first comma. Without a comma the
// whole text is the source and the target is empty.
struct DesktopCopyNames {
  std::wstring source;
  std::wstring target;
};
DesktopCopyNames splitDesktopCopyParameter(const std::wstring& parameter);

// The source file's name on this machine: under WOW64 (a 32-bit program on 64-bit Windows)
// "_x64" goes in front of the first dot ("setup.lnk" -> "setup_x64.lnk"; without a dot, at the
// end); otherwise the name as given.
std::wstring desktopSourceName(const std::wstring& source, bool underWow64);

}  // namespace orv::updater
