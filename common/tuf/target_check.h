#pragma once
// A target's bytes checked against its targets metadata as they pass on to where they go: no
// more than its length, then its length and every known listed hash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "digests.h"
#include "failure.h"
#include "metadata.h"
#include "transport.h"

namespace orv::tuf {

class TargetCheck : public ByteSink {
 public:
  // `next` (optional) receives every byte written here that fits the length.
  explicit TargetCheck(const TargetFile& info, ByteSink* next = nullptr);

  // False once the bytes pass the target's length, or when `next` refuses them.
  bool write(const char* data, std::size_t size) override;
  // After the last byte: kLengthExceeded, kLengthMismatch, kNoKnownHash, kHashMismatch or kNone.
  Status finish(const std::string& what);

 private:
  std::uint64_t length_;
  std::uint64_t written_ = 0;
  bool exceeded_ = false;
  HashCheck hashes_;
  ByteSink* next_;
};

}  // namespace orv::tuf
