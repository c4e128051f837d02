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

// The process of the interactive user's shell: the owner of the shell's desktop window
// (GetShellWindow), which runs with the user's own, unelevated token. 0 when there is none (no
// shell runs; Wine has no shell window).
unsigned long shellProcessId();

// The test builds' seam: `finder` stands in for the shell window's owner (a stand-in "shell"
// process the test started); nullptr puts back the real one. Never called by a shipped program.
void setShellProcessFinderForTesting(unsigned long (*finder)());

// A start from the shell: the new process and the shell process it was made a child of.
struct ShellStart {
  ScopedHandle process;        // tests false when it was not started
  unsigned long shellPid = 0;  // 0: no shell process could be had, nothing was tried
};

// Starts the command line as a child of the shell's process (PROC_THREAD_ATTRIBUTE_PARENT_PROCESS),
// so that it runs with the shell's token, never with this program's elevated one; in the folder
// of the program it names, inheriting no handles, like launchCommandLine. Without a shell process
// (or without the attribute functions, looked up at run time) nothing is started.
ShellStart launchFromShell(const std::wstring& commandLine);

}  // namespace orv
