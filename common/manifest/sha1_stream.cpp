#include "sha1_stream.h"

#include "ansi_text.h"
#include "base64.h"

namespace orv {

Sha1Stream::Sha1Stream() : ctx_(EVP_MD_CTX_new()) {
  ok_ = ctx_ && EVP_DigestInit_ex(ctx_.get(), EVP_sha1(), nullptr) == 1;
}

void Sha1Stream::update(const void* bytes, std::size_t size) {
  if (ok_ && size > 0) ok_ = EVP_DigestUpdate(ctx_.get(), bytes, size) == 1;
}

std::wstring Sha1Stream::finishBase64() {
  unsigned char digest[20];
  unsigned int len = 0;
  const bool done =
      ok_ && EVP_DigestFinal_ex(ctx_.get(), digest, &len) == 1 && len == sizeof(digest);
  ok_ = false;
  return done ? toWide(base64Digest(digest)) : std::wstring();
}

}  // namespace orv
