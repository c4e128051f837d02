#include "ansi_text.h"
#include "file_manifest.h"
#include "narrow_file.h"
#include "sha1_stream.h"

namespace orv {

namespace {
// Large reads straight from the unbuffered file: few calls, no copy through the runtime.
constexpr std::size_t kReadBlock = 1u << 20;
}  // namespace

std::wstring fileDigest(const std::wstring& path, DigestBlock& block) {
  // Only regular files are digested: a listed name that opens a device or a pipe has no digest.
  ScopedFile f = openRegularForReading(toNarrow(path));
  if (!f) return std::wstring();

  block.resize(kReadBlock);
  Sha1Stream sha1;
  // No file is ever loaded whole.
  std::size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), f.get())) > 0) sha1.update(block.data(), n);
  // A file that cannot be read to its end has no digest, so its entry differs.
  if (std::ferror(f.get())) return std::wstring();
  return sha1.finishBase64();
}

}  // namespace orv
