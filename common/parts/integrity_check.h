#pragma once
// The core host's start-up check of its own installed files.

namespace orv {

// Verifies and loads the manifests of the program's folder and digests every listed file.
// When anything is missing or altered, shows the modal "incomplete installation" message box
// and returns false; the caller then starts the updater with -lostfile and ends.
bool verifyInstallation();

}  // namespace orv
