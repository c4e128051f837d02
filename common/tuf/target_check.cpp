#include "target_check.h"

namespace orv::tuf {

TargetCheck::TargetCheck(const TargetFile& info, ByteSink* next)
    : length_(static_cast<std::uint64_t>(info.length)), hashes_(info.hashes), next_(next) {}

bool TargetCheck::write(const char* data, std::size_t size) {
  if (exceeded_ || size > length_ - written_) {
    exceeded_ = true;
    return false;
  }
  written_ += size;
  hashes_.update(data, size);
  return !next_ || next_->write(data, size);
}

Status TargetCheck::finish(const std::string& what) {
  if (exceeded_) return Status(Failure::kLengthExceeded, what);
  if (written_ != length_) return Status(Failure::kLengthMismatch, what);
  if (!hashes_.anyKnown()) return Status(Failure::kNoKnownHash, what);
  return hashes_.matches() ? Status() : Status(Failure::kHashMismatch, what);
}

}  // namespace orv::tuf
