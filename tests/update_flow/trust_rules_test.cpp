// The update's trust as rules: where the repository is, the target each listed file is, the root
// an attempt starts from, and what each failed check is for the attempt.
#include <gtest/gtest.h>

#include "trust_rules.h"

namespace orv::updater {
namespace {

TEST(TrustRules, TheRepositoryLiesBesideTheOldLayout) {
  for (const wchar_t* base : {L"http://h/u/", L"http://h/u", L"http://h/u//"}) {
    EXPECT_EQ(trustMetadataUrl(base), "http://h/u/tuf/metadata/");
    EXPECT_EQ(trustTargetsUrl(base), "http://h/u/tuf/targets/");
  }
}

TEST(TrustRules, AListedFileIsTheTargetOfItsManifestPath) {
  const struct {
    const wchar_t* path;
    const wchar_t* name;
    const char* target;
  } cases[] = {
      {L"", L"Digest.xml", "Digest.xml"},
      {L"setup", L"OrvalinexSetup.exe", "setup/OrvalinexSetup.exe"},
      {L"\\Script\\", L"CoreConfig.lua", "Script/CoreConfig.lua"},
      {L"a\\\\b", L"c", "a/b/c"},
      {L"\u00e4", L"\u00fc.txt", "\xc3\xa4/\xc3\xbc.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(targetPathOf(c.path, c.name), c.target) << c.target;
}

TEST(TrustRules, TheNewerRootIsTheOneToStartFrom) {
  EXPECT_EQ(rootToStartFrom(std::nullopt, 1), RootToStartFrom::kBuiltIn);
  EXPECT_EQ(rootToStartFrom(1, 2), RootToStartFrom::kBuiltIn);
  EXPECT_EQ(rootToStartFrom(2, 2), RootToStartFrom::kStored);
  EXPECT_EQ(rootToStartFrom(5, 2), RootToStartFrom::kStored);
  EXPECT_EQ(rootVersionOf("{}"), std::nullopt);
}

// The flow's tests show expired, rolled back, hash mismatch and a missing repository end to end;
// here what they cannot reach: the clock, a silent server and the reasons that share a failure.
TEST(TrustRules, EachFailedCheckIsItsOwnFailure) {
  using tuf::Failure;
  const std::int64_t now = 1'800'000'000;
  const TrustContext answered{now, now, 404, true};
  const TrustContext silent{now, std::nullopt, 12029, false};
  const TrustContext ahead{now, now - kClockAheadSlackSeconds - 1, 0, true};
  const struct {
    Failure failure;
    TrustContext context;
    FailureReason reason;
    unsigned long code;
  } cases[] = {
      {Failure::kExpired, silent, FailureReason::TrustExpired, 0},
      {Failure::kExpired, ahead, FailureReason::TrustClockAhead, 0},
      {Failure::kThresholdNotMet, answered, FailureReason::TrustThresholdNotMet, 0},
      {Failure::kLengthMismatch, answered, FailureReason::TrustHashMismatch, 0},
      {Failure::kTargetNotFound, answered, FailureReason::TrustTargetNotListed, 0},
      {Failure::kStorage, answered, FailureReason::TrustStateFailed, 0},
      {Failure::kUnreachable, answered, FailureReason::TrustUnreachable, 404},
      {Failure::kUnreachable, silent, FailureReason::ServerUnreachable, 12029},
  };
  for (const auto& c : cases) {
    const AttemptFailure f = trustFailure(tuf::Status(c.failure, "timestamp"), c.context);
    EXPECT_EQ(f.reason, c.reason) << tuf::failureText(c.failure);
    EXPECT_EQ(f.code, c.code) << tuf::failureText(c.failure);
    EXPECT_NE(f.subject.find(L"timestamp"), std::wstring::npos);
  }
}

}  // namespace
}  // namespace orv::updater
