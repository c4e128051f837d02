#include "ansi_text.h"
#include "base64.h"
#include "file_manifest.h"
#include "narrow_file.h"
#include "sha1_stream.h"

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

  Sha1Stream sha1;
  // No file is ever loaded whole. A read error ends the digest with the bytes read so far,
  // which makes the entry differ.
  std::vector<unsigned char> block(kReadBlock);
  std::size_t n;
  while (sha1.ok() && (n = std::fread(block.data(), 1, block.size(), f.get())) > 0)
    sha1.update(block.data(), n);
  return sha1.finishBase64();
}

}  // namespace orv
