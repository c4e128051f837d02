#pragma once
// One update or repair attempt, run from start to end on a worker thread: installation check,
// server query, version decision, loader check, confirmation, stopping
// the programs, fetching the signed manifest and its files, running the setup program, starting
// the core host, clean-up and the report to the page.
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "answer_gate.h"
#include "attempt_failure.h"
#include "downloader.h"
#include "file_manifest.h"
#include "start_options.h"
#include "update_trust.h"
#include "version_number.h"
#include "work_folder.h"

namespace orv {
class ProductKey;
}  // namespace orv

namespace orv::updater {

// What the server says, once its signed manifest verified: filled by a GetConfigFileServer.
struct UpdateInfo {
  std::wstring baseUrl;
  VersionNumber serverVersion;
  // The digest the verified server manifest lists for the updater's own file (empty: none).
  std::wstring updaterDigest;
};

// The update server: fetches "Digest.xml" into `folder` (the attempt's own) as a trusted
// target, verifies its signature and reads the offered version from it. A file that does not
// verify is no answer, and neither is a file this query did not fetch.
class GetConfigFileServer {
 public:
  // `trust` was refreshed: "Digest.xml" comes as the trusted target it is.
  GetConfigFileServer(std::wstring baseUrl, std::wstring folder, UpdateTrust& trust);
  StepResult fill(UpdateInfo& info);

 private:
  std::wstring baseUrl_;
  std::wstring folder_;
  UpdateTrust& trust_;
};

// What an attempt reaches of its program: the window's show operation and the page.
class AttemptHost {
 public:
  virtual ~AttemptHost() = default;
  virtual void show() = 0;
  virtual void tellPage(const std::wstring& function, const std::wstring& argument) = 0;
  // The setup program starts (true) or has ended (false): a close asked meanwhile waits for it.
  virtual void setupRunning(bool running) = 0;
};

// Results of an attempt (the worker's exit code).
constexpr int kAttemptShown = 1;  // the page holds the outcome; the program stays
constexpr int kAttemptEndsProgram = 2;

class AttemptFolders;

class UpdateAttempt {
 public:
  UpdateAttempt(std::wstring baseUrl, UpdateFlags flags, std::atomic<int>& askedOnce,
                AttemptHost& host, AnswerGate& gate, WorkFolderOwners workFolderOwners);
  // Runs every step; the result is 1 or 2. Throws WorkerEnded when an answer ends the worker
  // while it waits; what the attempt holds is released on the way out.
  int run();

 private:
  void ask(Question question, const wchar_t* function, const std::wstring& argument);
  void pause(unsigned milliseconds);
  // The one end of a failed attempt: the failure's stage key, customer code and log line (the
  // mapping of attempt_failure.h), the window shown when it says so, the page told.
  int reportFailure(const AttemptFailure& failure);
  // One line of this attempt in the updater's log; `code` "-" for a step that went well.
  void log(const std::wstring& text, const std::wstring& code = L"-");
  // After a download the program's end cancelled: unwinds the attempt.
  void stopIfEnded();
  // Shows the window and asks a question that has no answer; the program ends.
  int askUnanswerable(const wchar_t* function);

  // The numbered steps of run(); a step that may end the attempt returns its result.
  // 1. The installed folder checked by handle (admin_folder.h): only administrators change it.
  StepResult checkInstalledFolder(const std::wstring& folder);
  // 2. The trusted metadata refreshed, then the signed server query into a new work folder.
  StepResult queryServer(const std::wstring& installedFolder, AttemptFolders& folders,
                         UpdateInfo& info);
  // 3. The attempt's result when it ends here without a failure (nothing newer).
  std::optional<int> decideVersion(const UpdateInfo& info, const VersionNumber& installedVersion);
  // 4. Returns only when the hand-over failed (a successful one ends the process).
  AttemptFailure handOverLoader(AttemptFolders& folders, const UpdateInfo& info,
                                const ProductKey& key);
  // 5. Shows the window and asks what this run asks before updating.
  void confirm(const ProductKey& key);
  // Stopping the programs, fetching, running the setup program and starting the core host again,
  // once the user agreed.
  StepResult installUpdate(AttemptFolders& folders, const UpdateInfo& info,
                           const std::wstring& installedFolder);
  // The signed manifest fetched again, into a folder of its own; it must verify and offer the
  // version the server query verified.
  StepResult fetchServerManifest(AttemptFolders& folders, const VersionNumber& queried,
                                 FileManifest& manifest, std::vector<ManifestEntry>& documentOrder);
  // Fetches every planned file into held folders; the last one is the setup program.
  StepResult downloadPass(AttemptFolders& folders, const FileManifest& manifest,
                          const std::vector<ManifestEntry>& documentOrder,
                          std::wstring& setupProgram, std::wstring& setupDigest);
  // Step 10's end: closing the browser, then running the setup program and waiting for it.
  StepResult runSetupProgram(const std::wstring& setupProgram, const std::wstring& setupDigest);
  void closeBrowsers();

  std::wstring baseUrl_;
  std::wstring attemptId_;  // names the attempt in its log lines
  UpdateFlags flags_;
  std::atomic<int>& askedOnce_;
  AttemptHost& host_;
  AnswerGate& gate_;
  WorkFolderOwners workFolderOwners_;
  UpdateTrust trust_;  // refreshed at the start of step 2; every file comes through it
};

}  // namespace orv::updater
