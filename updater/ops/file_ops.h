#pragma once
// The updater's file operations: a file held against change while it is checked and the desktop
// copy the page asks for. (Its own version: file_version.h.)
#include <windows.h>

#include <string>

#include "file_version.h"
#include "scoped_handle.h"

namespace orv::updater {

// Opens a file for reading with read sharing only: while the handle lives nobody can write,
// rename or delete the file, so what was digested is what is later copied or started.
ScopedHandle openHeldFile(const std::wstring& path);

// openHeldFile, kept only when the file's digest is the listed one (never when none is listed).
// Failures are traced under `tag`, the digest's as "<name>'s digest is not the listed one".
ScopedHandle openHeldListedFile(const std::wstring& path, const std::wstring& listedDigest,
                                const wchar_t* tag, const std::wstring& name);

// The page's "Copyfile": parameter "source,target". Copies the source (with "_x64" under WOW64)
// from the program's folder to the all-users desktop as the target, unless the target is there.
void desktopCopy(const std::wstring& parameter);
// The same with the folders and the WOW64 answer given.
void desktopCopyBetween(const std::wstring& parameter, const std::wstring& programFolder,
                        const std::wstring& desktopFolder, bool underWow64);

// True when this 32-bit program runs on 64-bit Windows (IsWow64Process, looked up at run time).
bool runsUnderWow64();

}  // namespace orv::updater
