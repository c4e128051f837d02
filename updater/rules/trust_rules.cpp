#include "trust_rules.h"

#include "ansi_text.h"
#include "metadata.h"

namespace orv::updater {
namespace {

std::string repositoryUrl(const std::wstring& baseUrl, const char* folder) {
  std::string url = toUtf8(baseUrl);
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url + "/tuf/" + folder + "/";
}

FailureReason reasonOf(tuf::Failure failure) {
  using tuf::Failure;
  switch (failure) {
    case Failure::kNotFound:
    case Failure::kUnreachable:
      return FailureReason::TrustUnreachable;
    case Failure::kExpired:
      return FailureReason::TrustExpired;
    case Failure::kRolledBack:
      return FailureReason::TrustRolledBack;
    case Failure::kThresholdNotMet:
    case Failure::kDuplicateSignature:
      return FailureReason::TrustThresholdNotMet;
    case Failure::kLengthExceeded:
      return FailureReason::TrustLengthExceeded;
    case Failure::kLengthMismatch:
    case Failure::kHashMismatch:
      return FailureReason::TrustHashMismatch;
    case Failure::kTargetNotFound:
      return FailureReason::TrustTargetNotListed;
    case Failure::kStorage:
    case Failure::kNoTrustedRoot:
      return FailureReason::TrustStateFailed;
    default:
      return FailureReason::TrustMetadataInvalid;
  }
}

}  // namespace

std::string trustMetadataUrl(const std::wstring& baseUrl) {
  return repositoryUrl(baseUrl, "metadata");
}

std::string trustTargetsUrl(const std::wstring& baseUrl) {
  return repositoryUrl(baseUrl, "targets");
}

std::string targetPathOf(const std::wstring& path, const std::wstring& fileName) {
  std::string target;
  for (const std::wstring& part : {path, fileName}) {
    std::string text = toUtf8(part);
    for (char& c : text)
      if (c == '\\') c = '/';
    for (char c : text) {
      if (c == '/' && (target.empty() || target.back() == '/')) continue;
      target += c;
    }
    if (!target.empty() && target.back() != '/') target += '/';
  }
  if (!target.empty()) target.pop_back();
  return target;
}

RootToStartFrom rootToStartFrom(std::optional<std::int64_t> storedVersion,
                                std::int64_t builtInVersion) {
  return storedVersion && *storedVersion >= builtInVersion ? RootToStartFrom::kStored
                                                           : RootToStartFrom::kBuiltIn;
}

std::optional<std::int64_t> rootVersionOf(const std::string& bytes) {
  tuf::Envelope envelope;
  tuf::Root root;
  if (!tuf::readEnvelope(bytes, envelope).ok() || !tuf::readRoot(envelope, root).ok())
    return std::nullopt;
  return root.header.version;
}

AttemptFailure trustFailure(const tuf::Status& status, const TrustContext& context) {
  FailureReason reason = reasonOf(status.failure());
  if (reason == FailureReason::TrustExpired && context.serverNow &&
      context.localNow - *context.serverNow > kClockAheadSlackSeconds)
    reason = FailureReason::TrustClockAhead;
  if (reason != FailureReason::TrustUnreachable) return {reason, 0, fromUtf8(status.text())};
  if (!context.fetchAnswered && status.failure() == tuf::Failure::kUnreachable)
    reason = FailureReason::ServerUnreachable;
  return {reason, context.fetchCode, fromUtf8(status.text())};
}

}  // namespace orv::updater
