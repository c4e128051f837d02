#include "attempt_failure.h"

namespace orv::updater {
namespace {

struct ReasonText {
  FailureReason reason;
  const wchar_t* stageKey;
  const wchar_t* words;     // the log line's name of the reason
  const wchar_t* codeName;  // what the code is, or nullptr when it carries none
  bool endsProgram;
};

// The stage keys are those the page already shows a text for; a manifest that fails at the
// query is "getWebRespond" like an unreachable server (the page says the same), and a failed run
// or start has the empty key, as before. "installedFolder" is the one key added since.
constexpr ReasonText kReasons[] = {
    {FailureReason::ServerUnreachable, L"getWebRespond", L"server unreachable", L"error", true},
    {FailureReason::ServerRefused, L"getWebRespond", L"server refused", L"HTTP status", true},
    {FailureReason::ManifestUnsigned, L"getWebRespond", L"manifest unsigned", nullptr, true},
    {FailureReason::ManifestOtherKey, L"getWebRespond", L"manifest signed with another key",
     nullptr, true},
    {FailureReason::ManifestAltered, L"getWebRespond", L"manifest altered after signing", nullptr,
     true},
    {FailureReason::ManifestEmpty, L"getWebRespond", L"manifest offers no version", nullptr, true},
    {FailureReason::RollbackRefused, L"getWebRespond", L"rollback refused", nullptr, true},
    {FailureReason::ManifestChanged, L"initLocalFiles", L"manifest to install not verified",
     nullptr, false},
    {FailureReason::ManifestNotFetched, L"initLocalFiles", L"manifest to install not fetched",
     L"code", false},
    {FailureReason::FileUnreachable, L"downloadNewFiles", L"file not fetched", L"code", false},
    {FailureReason::DigestMismatch, L"downloadNewFiles", L"digest mismatch", nullptr, false},
    {FailureReason::ListingUnsafe, L"downloadNewFiles", L"unsafe listing", nullptr, false},
    {FailureReason::LocalWriteFailed, L"initLocalFiles", L"local write failed", L"error", false},
    {FailureReason::InstalledFolderUnsafe, L"installedFolder", L"installed folder unsafe", nullptr,
     false},
    {FailureReason::TrustStateFailed, L"trustState", L"trusted metadata not kept", nullptr, false},
    {FailureReason::SetupNotRun, L"", L"setup program not run", L"error", false},
    {FailureReason::SetupExitCode, L"runsetupexe", L"setup program failed", L"exit code", false},
    {FailureReason::CoreHostNotStarted, L"", L"core host not started", L"error", false},
    {FailureReason::HandOverFailed, L"copyUpdateLoader", L"updater hand-over failed", nullptr,
     false},
    {FailureReason::TrustUnreachable, L"trustUnreachable", L"trusted metadata or target not fetched",
     L"code", false},
    {FailureReason::TrustExpired, L"trustExpired", L"trusted metadata expired", nullptr, false},
    {FailureReason::TrustClockAhead, L"trustClockAhead",
     L"trusted metadata reads as expired: this computer's clock is ahead of the server's", nullptr,
     false},
    {FailureReason::TrustRolledBack, L"trustRolledBack", L"trusted metadata rolled back", nullptr,
     false},
    {FailureReason::TrustThresholdNotMet, L"trustThreshold", L"signature threshold not met",
     nullptr, false},
    {FailureReason::TrustLengthExceeded, L"trustLength", L"length exceeded", nullptr, false},
    {FailureReason::TrustHashMismatch, L"trustHash", L"target length or hash mismatch", nullptr,
     false},
    {FailureReason::TrustMetadataInvalid, L"trustInvalid", L"trusted metadata invalid", nullptr,
     false},
    {FailureReason::TrustTargetNotListed, L"trustNotListed", L"file not a trusted target", nullptr,
     false},
};

const ReasonText& textOf(FailureReason reason) {
  for (const ReasonText& t : kReasons)
    if (t.reason == reason) return t;
  return kReasons[0];  // every enumerator is listed; tests walk them all
}

}  // namespace

FailureStage stageOf(FailureReason reason) {
  return static_cast<FailureStage>(static_cast<int>(reason) / 100);
}

FailureReport reportFailure(const AttemptFailure& failure) {
  const ReasonText& t = textOf(failure.reason);
  FailureReport report;
  report.stageKey = t.stageKey;
  report.endsProgram = t.endsProgram;
  report.customerCode = L"U-" + std::to_wstring(static_cast<int>(failure.reason));
  std::wstring text = std::wstring(L"failed: ") + t.words;
  if (t.codeName) text += std::wstring(L" ") + t.codeName + L" " + std::to_wstring(failure.code);
  if (!failure.subject.empty()) text += L": " + failure.subject;
  report.logText = text;
  return report;
}

}  // namespace orv::updater
