#include <openssl/evp.h>

#include "ansi_text.h"
#include "base64.h"
#include "file_manifest.h"
#include "narrow_file.h"
#include "openssl_owners.h"

#include <vector>

namespace orv {

namespace {
// Large reads straight from the unbuffered file: few calls, no copy through the runtime.
constexpr std::size_t kReadBlock = 1u << 20;
}  // namespace

std::wstring fileDigest(const std::wstring& path) {
  // Only regular files are digested: a listed name that opens a device or a pipe has no digest.
  ScopedFile f = openRegularForReading(toNarrow(path));
  if (!f) return std::wstring();

  MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx) return std::wstring();
  bool ok = EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) == 1;
  // No file is ever loaded whole. A read error ends the digest with the bytes read so far,
  // which makes the entry differ.
  std::vector<unsigned char> block(kReadBlock);
  std::size_t n;
  while (ok && (n = std::fread(block.data(), 1, block.size(), f.get())) > 0)
    ok = EVP_DigestUpdate(ctx.get(), block.data(), n) == 1;
  unsigned char digest[20];
  unsigned int len = 0;
  ok = ok && EVP_DigestFinal_ex(ctx.get(), digest, &len) == 1 && len == sizeof(digest);
  if (!ok) return std::wstring();
  return toWide(base64Digest(digest));
}

}  // namespace orv
