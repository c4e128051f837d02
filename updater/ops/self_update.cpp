#include "self_update.h"

#include <windows.h>
#include <shellapi.h>

#include "file_ops.h"
#include "file_rules.h"
#include "file_system.h"
#include "process_control.h"
#include "process_util.h"
#include "product_key.h"
#include "start_options.h"
#include "trace.h"
#include "scoped_handle.h"

namespace orv::updater {
namespace {

constexpr wchar_t kTag[] = L"loaderHandOver";

// The running updater's file is retired to a new name below the work folders' parent before the
// new copy is installed under its name; it returns to its name when the copy fails; the next
// attempt removes it with the other leftovers.
enum class Retired { Nothing, Moved, Failed };

Retired retireInstalledUpdater(const LoaderPaths& installed, const std::wstring& retired) {
  if (!pathExists(installed.installedUpdater)) return Retired::Nothing;
  // Windows lets a running program's file be renamed within its volume, unless another process
  // holds it open without delete sharing. Never over an existing file.
  if (!retired.empty() && MoveFileW(installed.installedUpdater.c_str(), retired.c_str()))
    return Retired::Moved;
  traceFailure(kTag, L"MoveFile " + installed.installedUpdater + L" to " + retired);
  return Retired::Failed;
}

void restoreRetiredUpdater(const LoaderPaths& installed, const std::wstring& retired) {
  // The installation keeps a working updater, over whatever a failed copy left there.
  if (!MoveFileExW(retired.c_str(), installed.installedUpdater.c_str(), MOVEFILE_REPLACE_EXISTING))
    traceFailure(kTag, L"MoveFileEx (restore) " + retired);
}

// Starts the installed copy with " -newloader"; the start's outcome is not examined.
void startNewLoader(const std::wstring& installedUpdater) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = installedUpdater.c_str();
  info.lpParameters = kNewLoaderParameters;
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info)) {
    traceFailure(kTag, L"ShellExecuteEx " + quoteProgramPath(installedUpdater));
    return;
  }
  ScopedHandle started(info.hProcess);
}

}  // namespace

const wchar_t kNewLoaderParameters[] = L" -newloader";

std::function<std::wstring()> installedFolderFrom(const ProductKey& key) {
  return [&key] { return key.readText(L"Path"); };
}

void removeRetiredUpdater(const std::wstring& updaterPath) {
  if (updaterPath.empty()) return;
  const std::wstring old = updater::oldFilePath(updaterPath);
  if (!pathExists(old)) return;
  // The previous updater ends right after starting this one, so its file is released within
  // moments; a file that stays held is left for a later run.
  const ULONGLONG deadline = GetTickCount64() + kOldFileWaitMs;
  while (!DeleteFileW(old.c_str())) {
    if (!pathExists(old) || GetTickCount64() >= deadline) return;
    Sleep(kOldFileRetryMs);
  }
}

void waitForRetiringLoader(const std::wstring& updaterPath) {
  const size_t slash = updaterPath.find_last_of(L'\\');
  const std::wstring fileName =
      slash == std::wstring::npos ? updaterPath : updaterPath.substr(slash + 1);
  if (!waitForOtherCopies(fileName, kHandOverWaitMs))
    traceLine(kTag, L"the copy that started this one still runs");
}

bool installNewLoader(const HandOverRequest& request) {
  const LoaderPaths fetchedTo =
      loaderPaths(request.loaderFolder, request.updaterFileName, std::wstring());
  if (!request.fetch || !request.fetch(fetchedTo.fetchedLoader)) return false;

  // Nothing fetched is trusted by its transport: the new loader must carry the digest that the
  // verified manifest lists, and it is held unchanged from the check until it was copied.
  ScopedHandle fetched = openHeldListedFile(fetchedTo.fetchedLoader, request.expectedDigest, kTag,
                                            L"the fetched loader");
  if (!fetched) return false;

  const std::wstring installedFolder = request.installedFolder ? request.installedFolder() : L"";
  const LoaderPaths installed =
      loaderPaths(request.loaderFolder, request.updaterFileName, installedFolder);
  const Retired retired = retireInstalledUpdater(installed, request.retiredUpdater);
  if (retired == Retired::Failed) return false;

  if (request.beforeInstall) request.beforeInstall();

  if (!CopyFileW(fetchedTo.fetchedLoader.c_str(), installed.installedUpdater.c_str(), TRUE)) {
    traceFailure(kTag, L"CopyFile " + installed.installedUpdater);
    if (retired == Retired::Moved) restoreRetiredUpdater(installed, request.retiredUpdater);
    return false;
  }
  fetched.reset();
  startNewLoader(installed.installedUpdater);
  return true;
}

bool loaderHandOver(const HandOverRequest& request) {
  if (!installNewLoader(request)) return false;
  if (request.beforeExit) request.beforeExit();
  // The new copy takes over at once; nothing here may wait for or hold it, and this thread's
  // callers cannot unwind past the page's threads: the process ends here, not by returning.
  ExitProcess(kHandOverExitCode);
}

}  // namespace orv::updater
