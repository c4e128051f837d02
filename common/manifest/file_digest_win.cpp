// The Windows build's file digest: large reads straight from the file handle into a block the
// caller reuses. Under Wine this beats mapped views, whose mapping and page faults cost more
// per file than the copy of a read.
#include "file_manifest.h"
#include "held_file_digest.h"
#include "sha1_stream.h"
#include "scoped_handle.h"

namespace orv {

namespace {
constexpr DWORD kReadBlock = 1u << 20;
}  // namespace

std::wstring fileDigest(const std::wstring& path, DigestBlock& block) {
  // By its wide name: the ANSI code page's best-fit conversion could name another file (a
  // full-width backslash becomes a separator).
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  // Only regular files are digested: a listed name that is a folder or a device has no digest.
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::wstring();
  ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK) return std::wstring();
  return heldFileDigest(file.get(), block);
}

std::wstring heldFileDigest(HANDLE file, DigestBlock& block) {
  LARGE_INTEGER start = {};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::wstring();
  block.resize(kReadBlock);
  Sha1Stream sha1;
  for (;;) {
    DWORD n = 0;
    // A file that cannot be read to its end has no digest, so its entry differs.
    if (!::ReadFile(file, block.data(), kReadBlock, &n, nullptr)) return std::wstring();
    if (n == 0) break;
    sha1.update(block.data(), n);
  }
  return sha1.finishBase64();
}

std::wstring heldFileDigest(HANDLE file) {
  DigestBlock block;
  return heldFileDigest(file, block);
}

}  // namespace orv
