// Runs the core host's start-up check over its own folder; exit code 0 intact, 1 not.
#include <windows.h>

#include "integrity_check.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return orv::verifyInstallation() ? 0 : 1; }
