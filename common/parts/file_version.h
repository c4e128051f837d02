#pragma once
// File versions read from version resources (Windows only): the running program's, a library's,
// any file's.
#include <windows.h>

#include <string>

namespace orv {

// A file's fixed file version as "a.b.c.d"; empty without a version resource.
std::wstring fileVersionText(const std::wstring& path);
// The same for a loaded module (null: the running program).
std::wstring moduleVersionText(HMODULE module);
// The running program's.
std::wstring ownVersionText();

}  // namespace orv
