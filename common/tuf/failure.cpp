#include "failure.h"

namespace orv::tuf {

const char* failureText(Failure failure) {
  switch (failure) {
    case Failure::kNone:
      return "ok";
    case Failure::kNoTrustedRoot:
      return "no trusted root metadata";
    case Failure::kBadMetadata:
      return "malformed metadata";
    case Failure::kWrongType:
      return "metadata of another role";
    case Failure::kUnsupportedVersion:
      return "unsupported metadata format version";
    case Failure::kDuplicateSignature:
      return "a key signs twice";
    case Failure::kThresholdNotMet:
      return "signature threshold not met";
    case Failure::kVersionMismatch:
      return "unexpected metadata version";
    case Failure::kRolledBack:
      return "rolled back";
    case Failure::kExpired:
      return "expired";
    case Failure::kLengthExceeded:
      return "download longer than allowed";
    case Failure::kLengthMismatch:
      return "length mismatch";
    case Failure::kHashMismatch:
      return "hash mismatch";
    case Failure::kNoKnownHash:
      return "no known hash algorithm";
    case Failure::kNotFound:
      return "not found on the server";
    case Failure::kUnreachable:
      return "server unreachable";
    case Failure::kRoleNotListed:
      return "role not listed in the snapshot";
    case Failure::kTargetNotFound:
      return "target not found";
    case Failure::kDelegationLimit:
      return "too many delegations";
    case Failure::kStorage:
      return "storage failed";
    case Failure::kNotRefreshed:
      return "metadata not refreshed";
  }
  return "unknown failure";
}

std::string Status::text() const {
  std::string out = failureText(failure_);
  if (!detail_.empty()) out += ": " + detail_;
  return out;
}

}  // namespace orv::tuf
