#pragma once
// The hashes metadata lists for a file ({"sha256": hex, ...}), checked as the file's bytes
// arrive.
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "hex_text.h"
#include "openssl_owners.h"

namespace orv::tuf {

using Hashes = std::map<std::string, std::string>;  // algorithm name -> hex digest

// SHA-256 of the bytes, lower-case hex.
std::string sha256Hex(const std::string& bytes);

// Digests the bytes fed in with every listed algorithm this client knows (sha256, sha384,
// sha512); the others are left out.
class HashCheck {
 public:
  explicit HashCheck(const Hashes& listed);
  // False when no listed algorithm is known: such a file can never be checked.
  bool anyKnown() const { return !digests_.empty(); }
  void update(const void* bytes, std::size_t size);
  // True when every known listed digest equals the bytes'. Ends the check.
  bool matches();

 private:
  struct Digest {
    MdCtxPtr ctx;
    std::string expected;  // lower-case hex
  };
  std::vector<Digest> digests_;
  bool ok_ = true;
};

}  // namespace orv::tuf
