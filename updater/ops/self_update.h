#pragma once
// The loader hand-over: the running updater fetches a newer copy of itself into its attempt's own
// folder, moves its own file to a name of its own below the work folders' parent (only
// administrators write there; no ".old" beside it that anyone could hold open to block the next
// hand-over), installs the new copy under its name, starts it with " -newloader" and ends with
// exit code 2. The next attempt removes the retired file with the other leftovers of earlier
// attempts. A file that cannot be moved (another program holds it open without delete sharing)
// fails the hand-over, which the next attempt tries again.
#include <functional>
#include <string>

namespace orv {
class ProductKey;
}  // namespace orv

namespace orv::updater {

constexpr unsigned kHandOverExitCode = 2;
extern const wchar_t kNewLoaderParameters[];  // " -newloader"

struct HandOverRequest {
  // Where the new copy is fetched to: a folder of the attempt's own that only administrators
  // can write (work_folder.h); the file is created new there.
  std::wstring loaderFolder;
  std::wstring updaterFileName;  // the product's updater file name
  // Where the running updater's file goes: a new name below the work folders' parent
  // (WorkLayout::retiredUpdater); a file already there is never replaced.
  std::wstring retiredUpdater;
  // The digest the verified server manifest lists for the updater's file. The fetched loader is
  // installed only when its own digest equals it; empty means no listed digest: no hand-over.
  std::wstring expectedDigest;
  // Reads the installed folder ("Path" of the product key) when it is needed.
  std::function<std::wstring()> installedFolder;
  // Runs after the installed updater was moved to retiredUpdater, before the new copy is installed
  // (tests use it to make the copy fail).
  std::function<void()> beforeInstall;
  // Fetches the new copy into the path given (created new), checked as the attempt checks what
  // it fetches; false when it did not come whole and checked.
  std::function<bool(const std::wstring& localPath)> fetch;
  // Runs once the new copy was started, before this process ends: the attempt removes its work
  // folder, which the process's end would leave behind.
  std::function<void()> beforeExit;
};

// Steps up to the start of the new copy. False, with the installation keeping a working updater
// under its own name, when any step fails; true once the new copy was installed and started.
bool installNewLoader(const HandOverRequest& request);

// installNewLoader, then beforeExit, then ends this process at once with exit code 2 (the new
// copy takes over; nothing may wait for it). Returns only on failure.
bool loaderHandOver(const HandOverRequest& request);

// Updaters of earlier versions retired their file to ".old" beside it. How long the start-up tries
// to remove such a file another process still holds, before it goes on and leaves it.
constexpr unsigned long kOldFileWaitMs = 5000;
constexpr unsigned long kOldFileRetryMs = 100;

// Removes the ".old" file beside `updaterPath` (the running program's file), left by the
// hand-over that started this copy: tried again every kOldFileRetryMs while another process
// holds it, for up to kOldFileWaitMs, then left for a later run. No path: nothing happens.
void removeRetiredUpdater(const std::wstring& updaterPath);

// How long a new copy started by the hand-over waits for the copy that started it to end.
constexpr unsigned long kHandOverWaitMs = 60000;

// The copy that started this one (" -newloader") ends only after it has started it and removed
// its work folder, and until then it holds the instance mutex: the new copy waits for every
// other process of its own file name (`updaterPath`, the running program's file) to end, up to
// kHandOverWaitMs, before it asks for the mutex. Without the wait, a hand-over on a loaded
// machine would find its own predecessor running and end silently.
void waitForRetiringLoader(const std::wstring& updaterPath);

// "Path" as read again through the attempt's settings key.
std::function<std::wstring()> installedFolderFrom(const ProductKey& key);

}  // namespace orv::updater
