// The one mapping of a failed update attempt: the page's stage key, the customer's code, the log
// line and whether the program ends unseen.
#include <gtest/gtest.h>

#include "attempt_failure.h"

namespace orv::updater {
namespace {

TEST(AttemptFailure, EachReasonHasItsStageKeyCodeAndLogLine) {
  struct Case {
    AttemptFailure failure;
    const wchar_t* stageKey;
    const wchar_t* code;
    const wchar_t* logText;
    bool endsProgram;
  };
  const Case cases[] = {
      {{FailureReason::ServerUnreachable, 12029, L"http://s/Digest.xml"},
       L"getWebRespond",
       L"U-101",
       L"failed: server unreachable error 12029: http://s/Digest.xml",
       true},
      {{FailureReason::ServerRefused, 404, L"u"},
       L"getWebRespond",
       L"U-102",
       L"failed: server refused HTTP status 404: u",
       true},
      {{FailureReason::ManifestOtherKey, 0, L"u"},
       L"getWebRespond",
       L"U-202",
       L"failed: manifest signed with another key: u",
       true},
      {{FailureReason::RollbackRefused, 0, L"1.1.18.0"},
       L"getWebRespond",
       L"U-205",
       L"failed: rollback refused: 1.1.18.0",
       true},
      {{FailureReason::ManifestChanged, 0, L""},
       L"initLocalFiles",
       L"U-206",
       L"failed: manifest to install not verified",
       false},
      {{FailureReason::DigestMismatch, 0, L"u"},
       L"downloadNewFiles",
       L"U-302",
       L"failed: digest mismatch: u",
       false},
      {{FailureReason::LocalWriteFailed, 5, L"C:\\w"},
       L"initLocalFiles",
       L"U-401",
       L"failed: local write failed error 5: C:\\w",
       false},
      {{FailureReason::InstalledFolderUnsafe, 0, L"C:\\P (others may change it)"},
       L"installedFolder",
       L"U-402",
       L"failed: installed folder unsafe: C:\\P (others may change it)",
       false},
      {{FailureReason::SetupNotRun, 2, L"s.exe"},
       L"",
       L"U-501",
       L"failed: setup program not run error 2: s.exe",
       false},
      {{FailureReason::SetupExitCode, 3, L"s.exe"},
       L"runsetupexe",
       L"U-502",
       L"failed: setup program failed exit code 3: s.exe",
       false},
      {{FailureReason::HandOverFailed, 0, L"u.exe"},
       L"copyUpdateLoader",
       L"U-601",
       L"failed: updater hand-over failed: u.exe",
       false},
  };
  for (const Case& c : cases) {
    const FailureReport r = reportFailure(c.failure);
    EXPECT_EQ(r.stageKey, c.stageKey) << c.code;
    EXPECT_EQ(r.customerCode, c.code);
    EXPECT_EQ(r.logText, c.logText);
    EXPECT_EQ(r.endsProgram, c.endsProgram) << c.code;
  }
}

}  // namespace
}  // namespace orv::updater
