#include "file_rules.h"

#include <cwctype>

#include "path_join.h"
#include "start_options.h"

namespace orv::updater {

std::wstring targetFolderOf(const std::wstring& localPath) {
  const std::size_t slash = localPath.rfind(L'\\');
  if (slash == std::wstring::npos) return std::wstring();
  return localPath.substr(0, slash);
}

ListedFileLocation listedFileLocation(const std::wstring& remoteBase, const std::wstring& directory,
                                      const std::wstring& fileName,
                                      const std::wstring& localSubfolder,
                                      const std::wstring& remoteSubfolder) {
  return {remoteBase + L"/" + remoteSubfolder + L"/" + fileName,
          joinPath(directory, localSubfolder, fileName)};
}

LoaderPaths loaderPaths(const std::wstring& loaderFolder, const std::wstring& updaterFileName,
                        const std::wstring& installedFolder) {
  LoaderPaths p;
  p.fetchedLoader = joinPath(loaderFolder, updaterFileName);
  p.installedUpdater = joinPath(installedFolder, updaterFileName);
  return p;
}

bool sameProgramName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
      return false;
  return true;
}

DesktopCopyNames splitDesktopCopyParameter(const std::wstring& parameter) {
  const std::size_t comma = parameter.find(L',');
  if (comma == std::wstring::npos) return {parameter, std::wstring()};
  return {parameter.substr(0, comma), parameter.substr(comma + 1)};
}

std::wstring desktopSourceName(const std::wstring& source, bool underWow64) {
  if (!underWow64) return source;
  std::wstring name = source;
  const std::size_t dot = name.find(L'.');
  name.insert(dot == std::wstring::npos ? name.size() : dot, L"_x64");
  return name;
}

}  // namespace orv::updater
