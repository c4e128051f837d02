#pragma once
// The core host's start-up check of its own installed files.

namespace orv {

// The codes of the check's log lines: Digest.xml missing, unsigned, forged or empty (C-1); a
// listed file missing or altered (C-2, one line a file).
extern const wchar_t kManifestRefusedCode[];
extern const wchar_t kFileChangedCode[];

// Verifies and loads the manifests of the program's folder and digests every listed file, and
// writes the outcome to the program's log (log_file.h). When anything is missing or altered,
// shows the modal "incomplete installation" message box and returns false; the caller then
// starts the updater with -lostfile and ends.
bool verifyInstallation();

}  // namespace orv
