#pragma once
// The program's own folder and the start of another program (Windows only).
#include <string>

#include "command_line.h"  // quoteProgramPath, for the command lines given here
#include "scoped_handle.h"

namespace orv {

// The running program's full path; empty when it cannot be read whole.
std::wstring modulePath();

// The running program's folder with its trailing backslash ("C:\A\B\" for C:\A\B\prog.exe);
// empty when the path has no backslash.
std::wstring moduleDirectory();

// Same rule on a given path: everything behind the last backslash is removed.
std::wstring directoryOfPath(const std::wstring& path);

// Creates a process from the command line as given (no application name, no inherited handles,
// no creation flags, the caller's environment), in the folder of the program it names (its first
// token, quoted or not). Does not wait. The new process's
// handle, which tests false when it could not be created.
ScopedHandle launchCommandLine(const std::wstring& commandLine);

}  // namespace orv
