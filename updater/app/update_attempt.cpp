#include "update_attempt.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "admin_folder.h"
#include "ansi_text.h"
#include "downloader.h"
#include "file_manifest.h"
#include "file_ops.h"
#include "file_rules.h"
#include "file_system.h"
#include "log_file.h"
#include "path_join.h"
#include "process_control.h"
#include "product.h"
#include "product_key.h"
#include "self_update.h"
#include "trace.h"
#include "trust_rules.h"
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

// Fetches "Digest.xml" into the manifest's folder as the trusted target it is, and loads what
// its verified signature covers.
StepResult fetchSignedManifest(UpdateTrust& trust, const std::wstring& baseUrl,
                               FileManifest& manifest, std::vector<ManifestEntry>& documentOrder) {
  ListedFileLocation where =
      listedFileLocation(baseUrl, manifest.directory(), kMainManifestName, L"", L"");
  std::uint64_t bytes = 0;
  if (StepResult failed = trust.fetch(targetPathOf(L"", kMainManifestName), where.localPath,
                                      bytes, where.url, FailureReason::ServerUnreachable))
    return failed;
  switch (manifest.loadSignedOnly(&documentOrder)) {
    case FileManifest::SignedLoad::Loaded:
      return std::nullopt;
    case FileManifest::SignedLoad::NoFile:
      return AttemptFailure{FailureReason::LocalWriteFailed, 0, where.localPath};
    case FileManifest::SignedLoad::Unsigned:
      return AttemptFailure{FailureReason::ManifestUnsigned, 0, where.url};
    case FileManifest::SignedLoad::OtherKey:
      return AttemptFailure{FailureReason::ManifestOtherKey, 0, where.url};
    case FileManifest::SignedLoad::Altered:
      return AttemptFailure{FailureReason::ManifestAltered, 0, where.url};
    case FileManifest::SignedLoad::NoEntries:
      break;
  }
  return AttemptFailure{FailureReason::ManifestEmpty, 0, where.url};
}

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
                                         UpdateTrust& trust)
    : baseUrl_(std::move(baseUrl)), folder_(std::move(folder)), trust_(trust) {}

StepResult GetConfigFileServer::fill(UpdateInfo& info) {
  traceText("[Brenlow DownDigest Address:]:[" + toNarrow(baseUrl_) + "]");

  FileManifest manifest(folder_);
  // Only what this query fetched counts, and only when its signature verifies; the bytes
  // verified are the bytes read.
  std::vector<ManifestEntry> documentOrder;
  if (StepResult failed = fetchSignedManifest(trust_, baseUrl_, manifest, documentOrder))
    return failed;
  const ManifestEntry* offered = offeredVersionEntry(documentOrder);
  if (!offered) return AttemptFailure{FailureReason::ManifestEmpty, 0, baseUrl_};
  const ManifestEntry* updater = updaterEntry(manifest.entries());
  info.baseUrl = baseUrl_;
  info.serverVersion = offered->version;
  info.updaterDigest = updater ? updater->digest : std::wstring();
  return std::nullopt;
}

UpdateAttempt::UpdateAttempt(std::wstring baseUrl, UpdateFlags flags, std::atomic<int>& askedOnce,
                             AttemptHost& host, AnswerGate& gate, WorkFolderOwners workFolderOwners)
    : baseUrl_(std::move(baseUrl)),
      attemptId_(orv::newAttemptId()),
      flags_(flags),
      askedOnce_(askedOnce),
      host_(host),
      gate_(gate),
      workFolderOwners_(workFolderOwners),
      trust_(baseUrl_, [this] { return gate_.endCode().has_value(); }) {}

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

int UpdateAttempt::reportFailure(const AttemptFailure& failure) {
  const FailureReport report = orv::updater::reportFailure(failure);
  log(report.logText, report.customerCode);
  if (!report.endsProgram) host_.show();
  // A page without the code's function skips it and still asks the retry question.
  host_.tellPage(L"ShowFailureCode", report.customerCode);
  host_.tellPage(L"ConfirmRetry", report.stageKey);
  return report.endsProgram ? kAttemptEndsProgram : kAttemptShown;
}

void UpdateAttempt::log(const std::wstring& text, const std::wstring& code) {
  logAttemptLine(attemptId_, code, text);
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
  log(L"started, installed " + (installed ? installed->version.text() : L"none"));
  if (!installed) return askUnanswerable(L"ConfirmRegError");
  if (const StepResult unsafe = checkInstalledFolder(installed->folder))
    return reportFailure(*unsafe);

  // 2. Server query, into a work folder of this attempt's own, removed at every end. What fails
  // here (the folder, the disk) is reported as such, never as an unreachable server.
  AttemptFolders folders;
  UpdateInfo info;
  if (const StepResult failed = queryServer(installed->folder, folders, info)) {
    stopIfEnded();
    return reportFailure(*failed);
  }
  log(L"server offers " + info.serverVersion.text());

  // 3. Version decision. A verified version below the installed one is never installed, not
  // even as a repair: an old signed manifest replayed by the network would bring back old code.
  if (serverVersionIsRollback(info.serverVersion, installed->version))
    return reportFailure({FailureReason::RollbackRefused, 0, info.serverVersion.text()});
  if (const std::optional<int> end = decideVersion(info, installed->version)) return *end;

  // 4. Loader check.
  if (loaderNeedsReplacing(flags_.newLoader, info.serverVersion,
                           VersionNumber::parse(ownVersionText())))
    return reportFailure(handOverLoader(folders, info, key));

  // 5. Confirmation.
  confirm(key);

  // 6. The page's progress starts empty.
  host_.tellPage(L"InitUpdate", initUpdateText(0, kProgressWidth, 0));

  // 7 to 11.
  const StepResult failed = installUpdate(folders, info, installed->folder);

  // 12. Remove the work folder with everything in it.
  folders.remove();

  // 13. Report.
  if (failed) return reportFailure(*failed);
  log(L"complete: " + info.serverVersion.text());
  host_.tellPage(L"ConfirmUpdateComplete", info.serverVersion.text());
  return kAttemptShown;
}

// What the attempt runs and writes there must be what administrators put there: the folder
// itself (no link), owned by Administrators or SYSTEM, changed by no one else.
StepResult UpdateAttempt::checkInstalledFolder(const std::wstring& folder) {
  const FolderAccess access = installedFolderAccess(folder, workFolderOwners_);
  if (access == FolderAccess::kAdministratorsOnly) return std::nullopt;
  return AttemptFailure{FailureReason::InstalledFolderUnsafe, 0,
                        folder + L" (" + folderAccessText(access) + L")"};
}

StepResult UpdateAttempt::queryServer(const std::wstring& installedFolder, AttemptFolders& folders,
                                      UpdateInfo& info) {
  if (!folders.open(installedFolder, workFolderOwners_))
    return AttemptFailure{FailureReason::LocalWriteFailed, GetLastError(),
                          workParentOf(installedFolder)};
  // The trusted metadata first: nothing else is asked of the server before it is fresh.
  if (StepResult failed = trust_.refresh(installedFolder, workFolderOwners_)) return failed;
  log(L"trusted metadata refreshed");
  const std::wstring folder = folders.layout().queryFolder;
  if (!folders.holdFolderOf(joinPath(folder, kMainManifestName)))
    return AttemptFailure{FailureReason::LocalWriteFailed, GetLastError(), folder};
  GetConfigFileServer server(baseUrl_, folder, trust_);
  return server.fill(info);
}

std::optional<int> UpdateAttempt::decideVersion(const UpdateInfo& info,
                                                const VersionNumber& installedVersion) {
  if (flags_.lostFile || serverVersionIsNewer(info.serverVersion, installedVersion))
    return std::nullopt;
  if (!flags_.manual) return kAttemptEndsProgram;
  return askUnanswerable(L"ConfirmNewVersion");
}

AttemptFailure UpdateAttempt::handOverLoader(AttemptFolders& folders, const UpdateInfo& info,
                                             const ProductKey& key) {
  HandOverRequest request;
  request.loaderFolder = folders.layout().loaderFolder;
  request.retiredUpdater = folders.layout().retiredUpdater;
  request.updaterFileName = kUpdaterFileName;
  request.expectedDigest = info.updaterDigest;
  request.installedFolder = installedFolderFrom(key);
  // The new copy comes as the trusted target it is; a failed check is the failure reported.
  StepResult fetchFailed;
  request.fetch = [this, &fetchFailed](const std::wstring& localPath) {
    std::uint64_t bytes = 0;
    std::wstring url;
    fetchFailed = trust_.fetch(targetPathOf(L"", kUpdaterFileName), localPath, bytes, url);
    return !fetchFailed;
  };
  // A successful hand-over ends the process at once, without unwinding.
  request.beforeExit = [&folders] { folders.remove(); };
  if (folders.holdFolderOf(joinPath(request.loaderFolder, kUpdaterFileName)))
    loaderHandOver(request);  // returns only when it failed
  stopIfEnded();
  if (fetchFailed) return *fetchFailed;
  return {FailureReason::HandOverFailed, 0, baseUrl_ + kUpdaterFileName};
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

StepResult UpdateAttempt::installUpdate(AttemptFolders& folders, const UpdateInfo& info,
                                        const std::wstring& installedFolder) {
  // 7. The manifest to install, verified before anything is stopped: without it the attempt
  // has failed, whatever the installed files say.
  FileManifest serverManifest(folders.layout().manifestFolder);
  std::vector<ManifestEntry> documentOrder;
  if (StepResult failed =
          fetchServerManifest(folders, info.serverVersion, serverManifest, documentOrder)) {
    stopIfEnded();
    return failed;
  }

  // 8. Stop the product's programs (programs.txt names them and their order).
  for (const wchar_t* program : kStoppedBeforeUpdate) stopProgram(program);

  // 9 and 10. Fetch every listed file (a verified manifest keeps at least one, so every update
  // runs the setup program, whatever the installed files say), close the browser, run the setup
  // program.
  std::wstring setupProgram, setupDigest;
  if (StepResult failed =
          downloadPass(folders, serverManifest, documentOrder, setupProgram, setupDigest))
    return failed;
  if (StepResult failed = runSetupProgram(setupProgram, setupDigest)) return failed;

  // 11. Start the core host.
  host_.tellPage(L"ShowTitle", L"runAssistant");
  pause(1000);
  // Never elevated: as a child of the user's shell, or not at all (the user starts it then).
  const std::wstring core = joinPath(installedFolder, kCoreFileName);
  unsigned long shell = 0;
  switch (startFromShell(core, &shell)) {
    case ShellStartResult::kStarted:
      log(L"core host started unelevated, as a child of the shell's process " +
          std::to_wstring(shell));
      break;
    case ShellStartResult::kNoShell:
      log(L"core host not started: no shell process to start it unelevated from; the user "
          L"starts it");
      break;
    case ShellStartResult::kFailed:
      return AttemptFailure{FailureReason::CoreHostNotStarted, GetLastError(), core};
  }
  return std::nullopt;
}

StepResult UpdateAttempt::fetchServerManifest(AttemptFolders& folders, const VersionNumber& queried,
                                              FileManifest& manifest,
                                              std::vector<ManifestEntry>& documentOrder) {
  // Only the signed file gives entries, and only when it offers the version the query verified
  // (an older signed manifest swapped in now is no manifest to install).
  const std::wstring path = joinPath(manifest.directory(), kMainManifestName);
  if (!folders.holdFolderOf(path))
    return AttemptFailure{FailureReason::LocalWriteFailed, GetLastError(), path};
  StepResult failed = fetchSignedManifest(trust_, baseUrl_, manifest, documentOrder);
  if (failed && (failed->reason == FailureReason::LocalWriteFailed ||
                 stageOf(failed->reason) == FailureStage::Trust))
    return failed;
  if (failed && stageOf(failed->reason) == FailureStage::Query)
    return AttemptFailure{FailureReason::ManifestNotFetched, failed->code, failed->subject};
  const ManifestEntry* offered = failed ? nullptr : offeredVersionEntry(documentOrder);
  if (!offered || offered->version != queried)
    return AttemptFailure{
        FailureReason::ManifestChanged, 0,
        listedFileLocation(baseUrl_, manifest.directory(), kMainManifestName, L"", L"").url};
  return std::nullopt;
}

StepResult UpdateAttempt::downloadPass(AttemptFolders& folders, const FileManifest& manifest,
                                       const std::vector<ManifestEntry>& documentOrder,
                                       std::wstring& setupProgram, std::wstring& setupDigest) {
  const DownloadPlan plan =
      planDownloads(manifest.entries(), documentOrder, baseUrl_, folders.layout().filesFolder);
  if (!plan.safe) return AttemptFailure{FailureReason::ListingUnsafe, 0, baseUrl_};
  for (const PlannedDownload& file : plan.files) {
    // Written only into the work folder's own folders, held until the attempt ends: the setup
    // program runs from the folder it was checked in.
    if (!folders.holdFolderOf(file.localPath))
      return AttemptFailure{FailureReason::LocalWriteFailed, GetLastError(), file.localPath};
    const ULONGLONG started = GetTickCount64();
    std::uint64_t bytes = 0;
    std::wstring url;
    const StepResult fetched = trust_.fetch(file.target, file.localPath, bytes, url);
    stopIfEnded();
    if (fetched) return fetched;
    // A file counts only with the digest its signed entry lists, as well as its trusted hash.
    if (!fetchedDigestMatches(fileDigest(file.localPath), file.digest))
      return AttemptFailure{FailureReason::DigestMismatch, 0, url};
    log(L"downloaded " + url + L": " + std::to_wstring(bytes) + L" bytes in " +
        std::to_wstring(GetTickCount64() - started) + L" ms");
    host_.tellPage(L"ShowDownloadProcess",
                   downloadProcessText(file.allCount, file.fileName, sizeText(bytes), file.nowPos));
    setupProgram = file.localPath;
    setupDigest = file.digest;
  }
  return std::nullopt;
}

StepResult UpdateAttempt::runSetupProgram(const std::wstring& setupProgram,
                                          const std::wstring& setupDigest) {
  pause(1000);
  host_.tellPage(L"ShowTitle", L"readyrun");
  closeBrowsers();
  host_.tellPage(L"ShowTitle", L"runsetupexe");
  // Runs only the file whose digest the signed manifest lists, held unchanged until started,
  // from its held folder; a setup program that reports a failure has not installed anything.
  unsigned long exitCode = 0;
  host_.setupRunning(true);
  stopIfEnded();  // closed just before: no setup program starts that no one waits for
  const bool ran = !setupProgram.empty() && runAndWait(setupProgram, setupDigest, {}, &exitCode);
  const DWORD error = GetLastError();
  host_.setupRunning(false);
  if (ran) log(L"setup program exit code " + std::to_wstring(exitCode));
  stopIfEnded();  // the window was closed while the setup program ran: the program ends now
  if (!ran) return AttemptFailure{FailureReason::SetupNotRun, error, setupProgram};
  if (exitCode == 0) return std::nullopt;
  return AttemptFailure{FailureReason::SetupExitCode, exitCode, setupProgram};
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
