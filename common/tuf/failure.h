#pragma once
// Why a step of the update client failed: one reason each, so that a caller can give each its
// own message, and a text for logs. A Status is a reason and a detail (the role, file or address
// concerned); the default one is success.
#include <string>
#include <utility>

namespace orv::tuf {

enum class Failure {
  kNone,
  kNoTrustedRoot,       // the store holds no trusted root
  kBadMetadata,         // not JSON, not in canonical form, a field missing or of the wrong type
  kWrongType,           // metadata of another role than the one asked for
  kUnsupportedVersion,  // written for another major version of the format
  kDuplicateSignature,  // the signatures name one key twice
  kThresholdNotMet,     // fewer valid signatures of the role's keys than its threshold
  kVersionMismatch,     // not the version its file name or the referring metadata names
  kRolledBack,          // older than what was trusted before
  kExpired,             // expired at the fixed update start time
  kLengthExceeded,      // a download longer than its metadata (or the fixed bound) allows
  kLengthMismatch,      // shorter or longer than its metadata says
  kHashMismatch,        // a listed hash does not match
  kNoKnownHash,         // none of the listed hash algorithms is one this client knows
  kNotFound,            // the server has no such file
  kUnreachable,         // the server could not be asked, or answered with an error
  kRoleNotListed,       // a delegated role the trusted snapshot does not list
  kTargetNotFound,      // no trusted metadata describes the target
  kDelegationLimit,     // the search for a target visited too many roles or went too deep
  kStorage,             // trusted metadata could not be read or written
  kNotRefreshed,        // a target asked for before a successful refresh
};

// A short English text for the reason, e.g. "expired".
const char* failureText(Failure failure);

class Status {
 public:
  Status() = default;
  Status(Failure failure, std::string detail) : failure_(failure), detail_(std::move(detail)) {}

  bool ok() const { return failure_ == Failure::kNone; }
  Failure failure() const { return failure_; }
  const std::string& detail() const { return detail_; }
  // "text: detail", or "ok".
  std::string text() const;

 private:
  Failure failure_ = Failure::kNone;
  std::string detail_;
};

}  // namespace orv::tuf
