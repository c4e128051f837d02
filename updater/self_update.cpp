#include "self_update.h"

#include <windows.h>
#include <shellapi.h>

#include "downloader.h"
#include "file_ops.h"
#include "file_rules.h"
#include "file_system.h"
#include "process_util.h"
#include "product_key.h"
#include "trace.h"
#include "win/scoped_handle.h"

namespace orv {
namespace {

constexpr wchar_t kTag[] = L"loaderHandOver";

}  // namespace

const wchar_t kNewLoaderParameters[] = L" -newloader";

std::function<std::wstring()> installedFolderFrom(const ProductKey& key) {
  return [&key] { return key.readText(L"Path"); };
}

bool installNewLoader(const HandOverRequest& request) {
  const LoaderPaths temp = loaderPaths(request.tempFolder, request.updaterFileName, std::wstring());

  // A fetched loader left by an earlier hand-over goes aside; one from before that goes away.
  if (pathExists(temp.previousFetchedLoader)) DeleteFileW(temp.previousFetchedLoader.c_str());
  if (pathExists(temp.fetchedLoader) &&
      !MoveFileW(temp.fetchedLoader.c_str(), temp.previousFetchedLoader.c_str())) {
    traceFailure(kTag, L"MoveFile " + temp.fetchedLoader);
    return false;
  }

  if (DownloadOneFile(request.baseUrl + L"/" + request.updaterFileName, temp.fetchedLoader, 3) == 0)
    return false;

  // Nothing fetched is trusted by its transport: the new loader must carry the digest that the
  // verified manifest lists, and it is held unchanged from the check until it was copied.
  ScopedHandle fetched =
      openHeldListedFile(temp.fetchedLoader, request.expectedDigest, kTag, L"the fetched loader");
  if (!fetched) return false;

  const std::wstring installedFolder = request.installedFolder ? request.installedFolder() : L"";
  const LoaderPaths installed =
      loaderPaths(request.tempFolder, request.updaterFileName, installedFolder);

  if (pathExists(installed.retiredUpdater)) DeleteFileW(installed.retiredUpdater.c_str());
  bool retired = false;
  if (pathExists(installed.installedUpdater)) {
    // Windows lets a running program's file be renamed within its volume.
    if (!MoveFileW(installed.installedUpdater.c_str(), installed.retiredUpdater.c_str())) {
      traceFailure(kTag, L"MoveFile " + installed.installedUpdater);
      return false;
    }
    retired = true;
  }

  if (request.beforeInstall) request.beforeInstall();

  if (!CopyFileW(temp.fetchedLoader.c_str(), installed.installedUpdater.c_str(), TRUE)) {
    traceFailure(kTag, L"CopyFile " + installed.installedUpdater);
    // The installation keeps a working updater: the retired one returns to its name, over
    // whatever a failed copy left there.
    if (retired && !MoveFileExW(installed.retiredUpdater.c_str(),
                                installed.installedUpdater.c_str(), MOVEFILE_REPLACE_EXISTING))
      traceFailure(kTag, L"MoveFileEx (restore) " + installed.retiredUpdater);
    return false;
  }
  fetched.reset();

  const std::wstring file = quoteProgramPath(installed.installedUpdater);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = installed.installedUpdater.c_str();
  info.lpParameters = kNewLoaderParameters;
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info)) {
    traceFailure(kTag, L"ShellExecuteEx " + file);
    return true;  // installed; the start's outcome is not examined
  }
  ScopedHandle started(info.hProcess);
  return true;
}

bool loaderHandOver(const HandOverRequest& request) {
  if (!installNewLoader(request)) return false;
  // The new copy takes over at once; nothing here may wait for or hold it.
  ExitProcess(kHandOverExitCode);
}

}  // namespace orv
