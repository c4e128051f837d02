#pragma once
// How an update attempt ends when it fails: one record per failure (the reason, its code, the
// file or URL concerned), and the one mapping from it to what the page shows (the stage key),
// the code the customer reads out to the helpdesk, and the log line. The codes are stable:
// docs/support.md lists them; a new reason takes a new number, an old number is never reused.
#include <optional>
#include <string>

namespace orv::updater {

// Where in the attempt the failure happened; each stage is one hundred of the customer codes.
enum class FailureStage : int {
  Query = 1,     // the server query (network)
  Manifest = 2,  // the signed manifest, its signature and its version
  Download = 3,  // the listed files
  Local = 4,     // this computer's folders and files
  Setup = 5,     // the setup program and the start of the core host
  HandOver = 6,  // the updater replacing itself
  Trust = 7,     // the update's trusted metadata (The Update Framework) and its targets
};

// Every way an attempt can fail; the value is the customer code's number.
enum class FailureReason : int {
  ServerUnreachable = 101,   // no answer: code = the Win32/WinINet error
  ServerRefused = 102,       // an answer other than 200: code = the HTTP status
  ManifestUnsigned = 201,    // the server's Digest.xml carries no signature
  ManifestOtherKey = 202,    // signed, but not with the manifest key built in
  ManifestAltered = 203,     // signed with the key, but changed since
  ManifestEmpty = 204,       // verified, but offers no version
  RollbackRefused = 205,     // verified, but older than the installed version
  ManifestChanged = 206,     // the manifest to install is not the one the query verified
  ManifestNotFetched = 207,  // the manifest to install did not come: code = error or status
  FileUnreachable = 301,     // a listed file did not come: code = Win32 error or HTTP status
  DigestMismatch = 302,      // a listed file came with another digest than listed
  ListingUnsafe = 303,       // the manifest lists a file outside the update's folder
  LocalWriteFailed = 401,    // a folder or file of the attempt could not be written
  // The installed folder is not one that only administrators can change.
  InstalledFolderUnsafe = 402,
  TrustStateFailed = 403,    // the trusted metadata's folder could not be made, read or written
  SetupNotRun = 501,         // the setup program could not be started: code = Win32 error
  SetupExitCode = 502,       // the setup program reported a failure: code = its exit code
  CoreHostNotStarted = 503,  // the core host could not be started: code = Win32 error
  HandOverFailed = 601,      // the new updater could not be installed and started
  // The trusted metadata's refresh or a target's check failed (subject: the role or target).
  TrustUnreachable = 701,    // metadata or a target did not come: code = error or HTTP status
  TrustExpired = 702,        // metadata expired: frozen by the network, or not refreshed in time
  TrustClockAhead = 703,     // metadata reads as expired because this computer's clock is ahead
  TrustRolledBack = 704,     // metadata older than what was trusted before
  TrustThresholdNotMet = 705,  // too few valid signatures of the role's keys
  TrustLengthExceeded = 706,   // a download longer than its metadata allows
  TrustHashMismatch = 707,     // a target of another length or hash than its metadata lists
  TrustMetadataInvalid = 708,  // metadata malformed, of the wrong role or version, or unusable
  TrustTargetNotListed = 709,  // a file the manifest lists that no trusted metadata describes
};

// One failed step: its reason, the code it carries (0: none) and the file or URL concerned.
struct AttemptFailure {
  FailureReason reason = FailureReason::ServerUnreachable;
  unsigned long code = 0;
  std::wstring subject;
};

FailureStage stageOf(FailureReason reason);

// A step's one result: nothing when it went well, else how it failed.
using StepResult = std::optional<AttemptFailure>;

// What one failure gives.
struct FailureReport {
  std::wstring stageKey;      // for "ConfirmRetry": the keys the page knows, empty for none
  std::wstring customerCode;  // "U-302": the page shows it, the log line carries it
  std::wstring logText;       // the log line's text: "failed: digest mismatch: <url>"
  // True for the failures of the server query, before anything was shown: the program ends
  // unseen. Every other failure shows the window and waits for the retry answer.
  bool endsProgram = false;
};

// The one mapping from a failure to the page's stage key, the customer's code and the log line.
FailureReport reportFailure(const AttemptFailure& failure);

}  // namespace orv::updater
