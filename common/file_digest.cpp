#include <openssl/evp.h>

#include "ansi_text.h"
#include "base64.h"
#include "file_manifest.h"
#include "narrow_file.h"

namespace orv {

std::wstring fileDigest(const std::wstring& path) {
  ScopedFile f = openForReading(toNarrow(path));
  if (!f) return std::wstring();

  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (!ctx) return std::wstring();
  bool ok = EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr) == 1;
  // Blocks from the stack: no file is ever loaded whole. A read error ends the digest with the
  // bytes read so far, which makes the entry differ.
  unsigned char block[4096];
  std::size_t n;
  while (ok && (n = std::fread(block, 1, sizeof(block), f.get())) > 0)
    ok = EVP_DigestUpdate(ctx, block, n) == 1;
  unsigned char digest[20];
  unsigned int len = 0;
  ok = ok && EVP_DigestFinal_ex(ctx, digest, &len) == 1 && len == sizeof(digest);
  EVP_MD_CTX_free(ctx);
  if (!ok) return std::wstring();
  return toWide(base64Digest(digest));
}

}  // namespace orv
