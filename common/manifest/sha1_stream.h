#pragma once
// The SHA-1 of bytes fed in pieces, given as the 28-character base64 text the manifests list.
// Shared by the installed-file check and the updater's check of a file it holds open.
#include <cstddef>
#include <string>

#include "openssl_owners.h"

namespace orv {

class Sha1Stream {
 public:
  Sha1Stream();
  // False once anything failed; the result is then empty.
  bool ok() const { return ok_; }
  void update(const void* bytes, std::size_t size);
  // The digest in base64, or empty when anything failed. Ends the stream.
  std::wstring finishBase64();

 private:
  MdCtxPtr ctx_;
  bool ok_ = false;
};

}  // namespace orv
