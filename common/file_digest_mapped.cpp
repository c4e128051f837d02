// The Windows build's file digest: the file's bytes are hashed straight from a mapped view, so
// no read copies them into a buffer first (under Wine the copy cost as much as the hash).
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <vector>

#include "ansi_text.h"
#include "file_manifest.h"
#include "sha1_stream.h"
#include "win/scoped_handle.h"

namespace orv {

namespace {

// Views of 64 MiB keep the address space a 32-bit program needs small.
constexpr ULONGLONG kViewBytes = 64ull << 20;
constexpr DWORD kReadBlock = 1u << 20;

// Where a file cannot be mapped, large reads straight from the handle.
void hashByReads(HANDLE file, Sha1Stream& sha1) {
  std::vector<unsigned char> block(kReadBlock);
  DWORD n = 0;
  while (sha1.ok() && ::ReadFile(file, block.data(), kReadBlock, &n, nullptr) && n > 0)
    sha1.update(block.data(), n);
}

}  // namespace

std::wstring fileDigest(const std::wstring& path) {
  const std::string narrow = toNarrow(path);
  // Only regular files are digested: a listed name that is a folder or a device has no digest.
  struct _stat64 before;
  if (_stat64(narrow.c_str(), &before) != 0 || (before.st_mode & _S_IFMT) != _S_IFREG)
    return std::wstring();
  ScopedHandle file(::CreateFileA(narrow.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size = {};
  if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::GetFileSizeEx(file.get(), &size))
    return std::wstring();

  Sha1Stream sha1;
  const ULONGLONG total = static_cast<ULONGLONG>(size.QuadPart);
  if (total == 0) return sha1.finishBase64();
  // While a view is mapped the file cannot be cut short under it.
  ScopedHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.valid()) {
    hashByReads(file.get(), sha1);
    return sha1.finishBase64();
  }
  for (ULONGLONG offset = 0; offset < total && sha1.ok(); offset += kViewBytes) {
    const SIZE_T length = static_cast<SIZE_T>(std::min(kViewBytes, total - offset));
    ScopedMapView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ,
                                       static_cast<DWORD>(offset >> 32),
                                       static_cast<DWORD>(offset & 0xFFFFFFFFu), length));
    // A view that cannot be mapped ends the digest with the bytes so far: the entry differs.
    if (!view.valid()) break;
    sha1.update(static_cast<const unsigned char*>(view.get()), length);
  }
  return sha1.finishBase64();
}

}  // namespace orv
