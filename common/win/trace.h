#pragma once
// Diagnostic lines on the debugger output: every line a program or library writes there goes
// through here. The programs keep no log file; these lines are for a developer watching with a
// debugger. Never pass secrets (PINs, keys).
#include <string>

namespace orv {

// The line written for a failed call: "<where>: <call> failed, error <code>".
std::wstring failureTraceText(const std::wstring& where, const std::wstring& call,
                              unsigned long error);

#ifdef _WIN32
// Writes "Orvalinex <tag>: <text>" and a line end to the debugger output.
void traceLine(const std::wstring& tag, const std::wstring& text);

// Writes `text` as it is, in the ANSI code page: the lines whose wording is fixed (the server
// address, the device events' and the token control's texts) carry no prefix.
void traceText(const std::string& text);

// Records the calling thread's last Win32 error (taken first, before anything can change it)
// as a failure of `call` inside `where`, and leaves the last error as it was. Returns it.
unsigned long traceFailure(const std::wstring& where, const std::wstring& call);
#endif

}  // namespace orv
