#pragma once
// The one rule for a file a manifest lists, shared by the manifest load, the updater's download
// pass and the manifest tool's server check. Windows-free: it names what Windows would treat
// specially, so the rule holds the same wherever it runs.
#include <string>

namespace orv {

// Whether a listed Path and FileName name a plain file inside the manifest's folder. Only a
// backslash separates a Path's folders: the server's layout and the local one must agree, so a
// "/" is refused wherever it stands. Refused: an empty file name or one with a separator; a
// rooted, drive or UNC path; an empty, "." or ".."
// component; a component or name that ends in a dot or a space (Windows trims them, so two keys
// would name one file), that holds a control character or one of <>:"|?* (drives, alternate
// streams, wildcards), that is a device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, with any extension and any case), or that has the form of a short name ("PROGRA~1",
// "ABCDEF~1.TXT": up to eight characters ending in "~" and digits, up to three after a dot),
// which may be another file's.
bool listedFileIsSafe(const std::wstring& path, const std::wstring& fileName);

// The name under which Windows finds a listed file: path + "\" + file name with the case folded
// (every letter with a one-character upper case, final sigma and dotless i among them), so that
// two entries whose keys differ only in case ("Script", "script") give one name.
std::wstring listedFileIdentity(const std::wstring& path, const std::wstring& fileName);

}  // namespace orv
