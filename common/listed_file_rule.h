#pragma once
// The one rule for a file a manifest lists, shared by the manifest load, the updater's download
// pass and the manifest tool's server check. Windows-free: it names what Windows would treat
// specially, so the rule holds the same wherever it runs.
#include <string>

namespace orv {

// Whether a listed Path and FileName name a plain file inside the manifest's folder. Refused:
// an empty file name or one with a separator; a rooted, drive or UNC path; an empty, "." or ".."
// component; a component or name that ends in a dot or a space (Windows trims them, so two keys
// would name one file), that holds a control character or one of <>:"|?* (drives, alternate
// streams, wildcards), or that is a device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, with any extension and any case).
bool listedFileIsSafe(const std::wstring& path, const std::wstring& fileName);

}  // namespace orv
