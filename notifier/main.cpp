// OrvalinexTray.exe: the tray notifier. All of its work is in the application object.
#include <windows.h>

#include "lumora_pop_app.h"

namespace {
// One process-wide application object, built before the entry point runs.
orv::notifier::CLumoraPopApp theApp;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return orv::runProgram(theApp); }
