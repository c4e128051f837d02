#include "update_attempt.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "ansi_text.h"
#include "downloader.h"
#include "file_manifest.h"
#include "file_ops.h"
#include "file_rules.h"
#include "file_system.h"
#include "path_join.h"
#include "process_control.h"
#include "product.h"
#include "product_key.h"
#include "self_update.h"
#include "trace.h"
#include "update_rules.h"
#include "work_folder.h"

namespace orv::updater {
namespace {

constexpr wchar_t kBrowserFileName[] = L"iexplore.exe";
constexpr int kProgressWidth = 650;
// How long a stopped browser may take to leave the process list before it is asked about again.
constexpr DWORD kStoppedBrowserWaitMs = 3000;

// What the installation check found: "Path" and "Version" of the settings key.
struct Installation {
  std::wstring folder;
  VersionNumber version;
};

// The product counts as installed when both values are set and "Path" names a folder.
std::optional<Installation> installedProduct(const ProductKey& key) {
  const std::wstring versionText = key.readText(L"Version");
  Installation found{key.readText(L"Path"), VersionNumber::parse(versionText)};
  if (versionText.empty() || found.folder.empty() || !isFolder(found.folder)) return std::nullopt;
  return found;
}

}  // namespace

// The attempt's own work folder (work_folder.h), laid out by workLayoutOf; everything the attempt
// writes goes there, and it is removed however the attempt ends.
class AttemptFolders {
 public:
  // False when the work folder cannot be made: a local failure, with nothing written.
  bool open(const std::wstring& installedFolder, WorkFolderOwners owners) {
    work_ = WorkFolder::create(workParentOf(installedFolder), owners);
    if (work_) layout_ = workLayoutOf(work_->path());
    return work_ != nullptr;
  }
  const WorkLayout& layout() const { return layout_; }
  // Every folder from the work folder down to the file's, made when missing and held.
  bool holdFolderOf(const std::wstring& filePath) { return work_->holdFolderOf(filePath); }
  void remove() {
    if (work_) work_->remove();
  }

 private:
  std::unique_ptr<WorkFolder> work_;
  WorkLayout layout_;
};

GetConfigFileServer::GetConfigFileServer(std::wstring baseUrl, std::wstring folder,
                                         DownloadControl& control)
    : baseUrl_(std::move(baseUrl)), folder_(std::move(folder)), control_(control) {}

bool GetConfigFileServer::fill(UpdateInfo& info) {
  traceText("[Brenlow DownDigest Address:]:[" + toNarrow(baseUrl_) + "]");

  FileManifest manifest(folder_);
  // Only what this query fetched counts, and only when its signature verifies; the bytes
  // verified are the bytes read.
  if (!downloadListedFile(baseUrl_, manifest, kMainManifestName, L"", L"", &control_)) return false;
  std::vector<ManifestEntry> documentOrder;
  if (!manifest.verifyAndLoadSignedOnly(&documentOrder)) return false;
  const ManifestEntry* offered = offeredVersionEntry(documentOrder);
  if (!offered) return false;
  const ManifestEntry* updater = updaterEntry(manifest.entries());
  info.baseUrl = baseUrl_;
  info.serverVersion = offered->version;
  info.updaterDigest = updater ? updater->digest : std::wstring();
  return true;
}

UpdateAttempt::UpdateAttempt(std::wstring baseUrl, UpdateFlags flags, std::atomic<int>& askedOnce,
                             AttemptHost& host, AnswerGate& gate, WorkFolderOwners workFolderOwners)
    : baseUrl_(std::move(baseUrl)),
      flags_(flags),
      askedOnce_(askedOnce),
      host_(host),
      gate_(gate),
      workFolderOwners_(workFolderOwners) {}

void UpdateAttempt::ask(Question question, const wchar_t* function, const std::wstring& argument) {
  // Asked before the page sees the question: an answer given inside the page function is kept.
  gate_.ask(question);
  host_.tellPage(function, argument);
  if (const auto ended = gate_.wait()) throw WorkerEnded{*ended};
}

void UpdateAttempt::pause(unsigned milliseconds) {
  if (const auto ended = gate_.pause(std::chrono::milliseconds(milliseconds)))
    throw WorkerEnded{*ended};
}

int UpdateAttempt::reportRetry(const std::wstring& stageKey, int result) {
  host_.tellPage(L"ConfirmRetry", stageKey);
  return result;
}

int UpdateAttempt::reportLocalFailure() {
  host_.show();
  return reportRetry(L"initLocalFiles", kAttemptShown);
}

DownloadControl UpdateAttempt::downloadControl() {
  DownloadControl control;
  control.cancelled = [this] { return gate_.endCode().has_value(); };
  return control;
}

void UpdateAttempt::stopIfEnded() {
  if (const auto ended = gate_.endCode()) throw WorkerEnded{*ended};
}

int UpdateAttempt::askUnanswerable(const wchar_t* function) {
  host_.show();
  ask(Question::Unanswerable, function, L"");
  return kAttemptEndsProgram;
}

int UpdateAttempt::run() {
  // 1. Installation check.
  const ProductKey key(kProductId);
  const std::optional<Installation> installed = installedProduct(key);
  if (!installed) return askUnanswerable(L"ConfirmRegError");

  // 2. Server query, into a work folder of this attempt's own, removed at every end. What fails
  // here (the folder, the disk) is reported as such, never as an unreachable server.
  AttemptFolders folders;
  if (!folders.open(installed->folder, workFolderOwners_)) return reportLocalFailure();
  UpdateInfo info;
  DownloadControl query = downloadControl();
  if (!queryServer(folders, info, query)) {
    stopIfEnded();
    if (query.localFailure) return reportLocalFailure();
    return reportRetry(L"getWebRespond", kAttemptEndsProgram);
  }

  // 3. Version decision.
  if (const std::optional<int> end = decideVersion(info, installed->version)) return *end;

  // 4. Loader check.
  if (loaderNeedsReplacing(flags_.newLoader, info.serverVersion,
                           VersionNumber::parse(ownVersionText())))
    return handOverLoader(folders, info, key);

  // 5. Confirmation.
  confirm(key);

  // 6. The page's progress starts empty.
  host_.tellPage(L"InitUpdate", initUpdateText(0, kProgressWidth, 0));

  // 7 to 11.
  std::wstring stageKey;
  const bool ok = installUpdate(folders, info, installed->folder, stageKey);

  // 12. Remove the work folder with everything in it.
  folders.remove();

  // 13. Report.
  if (!ok) return reportRetry(stageKey, kAttemptShown);
  host_.tellPage(L"ConfirmUpdateComplete", info.serverVersion.text());
  return kAttemptShown;
}

bool UpdateAttempt::queryServer(AttemptFolders& folders, UpdateInfo& info,
                                DownloadControl& control) {
  const std::wstring folder = folders.layout().queryFolder;
  if (!folders.holdFolderOf(joinPath(folder, kMainManifestName))) {
    control.localFailure = true;
    return false;
  }
  GetConfigFileServer server(baseUrl_, folder, control);
  return server.fill(info);
}

std::optional<int> UpdateAttempt::decideVersion(const UpdateInfo& info,
                                                const VersionNumber& installedVersion) {
  // A verified version below the installed one is never installed, not even as a repair: an old
  // signed manifest replayed by the network would bring back old code.
  if (serverVersionIsRollback(info.serverVersion, installedVersion))
    return reportRetry(L"getWebRespond", kAttemptEndsProgram);
  if (flags_.lostFile || serverVersionIsNewer(info.serverVersion, installedVersion))
    return std::nullopt;
  if (!flags_.manual) return kAttemptEndsProgram;
  return askUnanswerable(L"ConfirmNewVersion");
}

int UpdateAttempt::handOverLoader(AttemptFolders& folders, const UpdateInfo& info,
                                  const ProductKey& key) {
  HandOverRequest request;
  request.baseUrl = baseUrl_;
  request.loaderFolder = folders.layout().loaderFolder;
  request.updaterFileName = kUpdaterFileName;
  request.expectedDigest = info.updaterDigest;
  request.installedFolder = installedFolderFrom(key);
  request.cancelled = downloadControl().cancelled;
  // A successful hand-over ends the process at once, without unwinding.
  request.beforeExit = [&folders] { folders.remove(); };
  if (folders.holdFolderOf(joinPath(request.loaderFolder, kUpdaterFileName)))
    loaderHandOver(request);  // returns only when it failed
  stopIfEnded();
  host_.show();
  return reportRetry(L"copyUpdateLoader", kAttemptShown);
}

void UpdateAttempt::confirm(const ProductKey& key) {
  host_.show();
  if (flags_.lostFile) {
    ask(Question::Update, L"ConfirmUpdate", L"lostfile");
    return;
  }
  if (flags_.firstRun) {
    const std::int32_t retryTimes = key.readDword(L"RetryTimes");
    if (!retryTimesPasses(retryTimes)) {
      // Going on after this question asks nothing more.
      ask(Question::RetryTooTimes, L"ConfirmRetryTooTimes", std::to_wstring(retryTimes));
      return;
    }
  }
  if (askedOnce_.fetch_add(1) == 0) ask(Question::Update, L"ConfirmUpdate", L"update");
}

bool UpdateAttempt::installUpdate(AttemptFolders& folders, const UpdateInfo& info,
                                  const std::wstring& installedFolder, std::wstring& stageKey) {
  // 7. The manifest to install, verified before anything is stopped: without it the attempt
  // has failed, whatever the installed files say.
  FileManifest serverManifest(folders.layout().manifestFolder);
  std::vector<ManifestEntry> documentOrder;
  if (!fetchServerManifest(folders, info.serverVersion, serverManifest, documentOrder)) {
    stopIfEnded();
    stageKey = L"initLocalFiles";
    return false;
  }

  // 8. Stop the product's programs (programs.txt names them and their order).
  for (const wchar_t* program : kStoppedBeforeUpdate) stopProgram(program);

  // 9 and 10. Fetch every listed file (a verified manifest keeps at least one, so every update
  // runs the setup program, whatever the installed files say), close the browser, run the setup
  // program.
  std::wstring setupProgram, setupDigest;
  if (!downloadPass(folders, serverManifest, documentOrder, setupProgram, setupDigest, stageKey))
    return false;
  if (!runSetupProgram(setupProgram, setupDigest, stageKey)) return false;

  // 11. Start the core host.
  host_.tellPage(L"ShowTitle", L"runAssistant");
  pause(1000);
  return startProgram(joinPath(installedFolder, kCoreFileName));
}

bool UpdateAttempt::fetchServerManifest(AttemptFolders& folders, const VersionNumber& queried,
                                        FileManifest& manifest,
                                        std::vector<ManifestEntry>& documentOrder) {
  // Only the signed file gives entries, and only when it offers the version the query verified
  // (an older signed manifest swapped in now is no manifest to install).
  DownloadControl control = downloadControl();
  if (!folders.holdFolderOf(joinPath(manifest.directory(), kMainManifestName)) ||
      !downloadListedFile(baseUrl_, manifest, kMainManifestName, L"", L"", &control) ||
      !manifest.verifyAndLoadSignedOnly(&documentOrder))
    return false;
  const ManifestEntry* offered = offeredVersionEntry(documentOrder);
  return offered && offered->version == queried;
}

bool UpdateAttempt::downloadPass(AttemptFolders& folders, const FileManifest& manifest,
                                 const std::vector<ManifestEntry>& documentOrder,
                                 std::wstring& setupProgram, std::wstring& setupDigest,
                                 std::wstring& stageKey) {
  stageKey = L"downloadNewFiles";
  const DownloadPlan plan =
      planDownloads(manifest.entries(), documentOrder, baseUrl_, folders.layout().filesFolder);
  if (!plan.safe) return false;
  for (const PlannedDownload& file : plan.files) {
    // Written only into the work folder's own folders, held until the attempt ends: the setup
    // program runs from the folder it was checked in.
    DownloadControl control = downloadControl();
    std::uint64_t bytes = 0;
    if (folders.holdFolderOf(file.localPath))
      bytes = DownloadOneFile(file.url, file.localPath, 3, &control);
    else
      control.localFailure = true;
    stopIfEnded();
    if (control.localFailure) stageKey = L"initLocalFiles";
    // A file counts only with the digest its signed entry lists.
    if (bytes == 0 || !fetchedDigestMatches(fileDigest(file.localPath), file.digest)) return false;
    host_.tellPage(L"ShowDownloadProcess",
                   downloadProcessText(file.allCount, file.fileName, sizeText(bytes), file.nowPos));
    setupProgram = file.localPath;
    setupDigest = file.digest;
  }
  stageKey.clear();
  return true;
}

bool UpdateAttempt::runSetupProgram(const std::wstring& setupProgram,
                                    const std::wstring& setupDigest, std::wstring& stageKey) {
  pause(1000);
  host_.tellPage(L"ShowTitle", L"readyrun");
  closeBrowsers();
  host_.tellPage(L"ShowTitle", L"runsetupexe");
  // Runs only the file whose digest the signed manifest lists, held unchanged until started,
  // from its held folder; a setup program that reports a failure has not installed anything.
  unsigned long exitCode = 0;
  if (setupProgram.empty() || !runAndWait(setupProgram, setupDigest, {}, &exitCode)) return false;
  if (exitCode == 0) return true;
  stageKey = L"runsetupexe";
  return false;
}

void UpdateAttempt::closeBrowsers() {
  while (const unsigned long browser = findProgram(kBrowserFileName)) {
    ask(Question::CloseIe, L"ConfirmCloseIe", L"");
    stopProgram(kBrowserFileName);
    // The stopped process may stay listed for a moment; it is not asked about twice.
    const ULONGLONG deadline = GetTickCount64() + kStoppedBrowserWaitMs;
    while (findProgram(kBrowserFileName) == browser && GetTickCount64() < deadline) Sleep(50);
  }
}

}  // namespace orv::updater
