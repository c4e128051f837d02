#pragma once
// Finding, stopping, starting and running programs for the updater.
#include <functional>
#include <string>

namespace orv::updater {

// Exit code given to a stopped program.
constexpr unsigned kStoppedExitCode = 0xFFFFFFF7;  // -9

// Process id of the first running process whose executable name equals `exeName` without regard
// to case; 0 when none runs.
unsigned long findProgram(const std::wstring& exeName);

// Waits until every other process whose executable name equals `exeName` (without regard to case)
// has ended, at most `timeoutMs`. True when none runs any more.
bool waitForOtherCopies(const std::wstring& exeName, unsigned long timeoutMs);

// Terminates the first process found with that name (exit code -9). Does not wait; stops one
// process per call; a failure (no right, already gone) is silent.
void stopProgram(const std::wstring& exeName);

// Starts the program (its path quoted, no arguments) without waiting. True when it was created.
bool startProgram(const std::wstring& programPath);

// How a start from the shell came out.
enum class ShellStartResult { kStarted, kNoShell, kFailed };

// Starts the program (its path quoted, no arguments) unelevated, as a child of the interactive
// user's shell (launchFromShell, process_util.h), without waiting; `shellPid` gets the shell's
// process. Without a shell process nothing is started (kNoShell): never with this program's
// elevated token.
ShellStartResult startFromShell(const std::wstring& programPath, unsigned long* shellPid);

// Runs the program (its path quoted, no arguments) and waits for it without time limit, but only
// when its file digest equals `expectedDigest`: the file is held open without write or delete
// sharing from before the digest until the process exists, so it cannot be swapped in between.
// True when the process ran and its exit code could be read; the code goes to `exitCode` when
// given. `afterCheck`, when given, runs while the checked file is held (tests use it to try a
// swap).
bool runAndWait(const std::wstring& programPath, const std::wstring& expectedDigest,
                const std::function<void()>& afterCheck = {}, unsigned long* exitCode = nullptr);

}  // namespace orv::updater
