#pragma once
// The control module's process-wide state: its instance handle, the counts of live objects and
// locks that DllCanUnloadNow looks at, and the interface's type information.
#include <oaidl.h>
#include <windows.h>

#include <string>

namespace orv::tokenctl {

void setControlModule(HINSTANCE module);
HINSTANCE controlModule();
// Full path of the control file.
std::wstring controlModulePath();

void moduleObjectCreated();
void moduleObjectDestroyed();
void moduleLock(bool lock);
bool moduleCanUnload();

// IOstwinCtrl's type information from the embedded type library, loaded once per process.
// Borrowed pointer (the module keeps its reference); null if the library cannot be loaded.
ITypeInfo* controlTypeInfo();

}  // namespace orv::tokenctl
