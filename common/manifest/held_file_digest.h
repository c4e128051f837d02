#pragma once
// The digest of a file through a handle that is already open, as the updater holds a fetched
// file against change while it checks it (Windows only).
#include <windows.h>

#include <string>

#include "file_manifest.h"

namespace orv {

// fileDigest of the bytes of an open file, read through `file` from its start; empty when a
// read fails.
std::wstring heldFileDigest(HANDLE file, DigestBlock& block);
std::wstring heldFileDigest(HANDLE file);

}  // namespace orv
