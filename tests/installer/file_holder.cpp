// Test helper: holds a file open as a running program may, shared for reading only, so that no
// one can write, delete or rename it. Creates MARKER once the file is held and lets go when
// RELEASE exists (after 5 minutes at the latest).
// usage: file_holder FILE MARKER RELEASE; exit code 0, or 1 when FILE cannot be opened.
#include <windows.h>

#include "scoped_handle.h"

namespace {

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const orv::ScopedHandle held(
      CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!held) return 1;
  const orv::ScopedHandle marker(
      CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  for (int i = 0; i < 3000 && !exists(argv[3]); ++i) Sleep(100);
  return 0;
}
