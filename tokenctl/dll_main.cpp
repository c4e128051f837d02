// Entry point of the control file: remembers the module for resources and the type library.
#include <windows.h>

#include "module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    orv::setControlModule(instance);
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
