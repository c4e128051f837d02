#pragma once
// The rules of the programs' log files, without Windows: what one line holds, when a file is
// full and its older generation takes its place, and what a line may never hold. A line is
//   2024-05-01T12:34:56Z 1.2.0.0 3f9a01c2 U-302 the text
// the time (UTC), the program's version, the attempt id ("-" outside an update attempt), the
// code ("-" when the line reports no failure) and the text, in UTF-8, ended by CR LF.
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// A log file grows to this size; the line that would take it past goes to a fresh file, and
// the full one becomes the older generation (the one before it is dropped).
inline constexpr std::uint64_t kLogBound = 1024 * 1024;
// A line's text is cut here, so that no caller can fill a log with one line.
inline constexpr std::size_t kLogTextLimit = 2000;

struct LogTime {
  int year, month, day, hour, minute, second;
};

// One whole line with its CR LF. Empty version, attempt or code fields are written "-"; blanks
// inside them become "_", so that each stays one word. The text is logText's.
std::string logLine(const LogTime& time, const std::wstring& version, const std::wstring& attempt,
                    const std::wstring& code, const std::wstring& text);

// A text as a line may hold it: every control character (line breaks and tabs included)
// becomes a blank, and it ends after kLogTextLimit characters with "...".
std::wstring logText(const std::wstring& text);

// A command line as a log may hold it: the options alone (the arguments after the program that
// start with "-" or "/"), each cut before a "=" or ":" that would carry a value. The program's
// path and every other argument (a file, a value, anything a caller might have put a secret in)
// are left out; "(none)" when no option is left.
std::wstring loggedOptions(const std::vector<std::wstring>& tokens);

// Whether the line must start a fresh file: the file holds something and the line would take
// it past the bound.
bool logIsFull(std::uint64_t fileSize, std::size_t lineSize, std::uint64_t bound = kLogBound);

// The bytes appended for a line: a line break first when the file holds something that does
// not end in one (a line cut short by a crash), so the new line always starts a line.
std::string logAppendBytes(const std::string& line, std::uint64_t fileSize, char lastByte);

// The log's file names for a program's file ("OrvalinexUpdate.exe"): "OrvalinexUpdate.log" and
// its older generation "OrvalinexUpdate.old.log".
std::wstring logFileName(const std::wstring& programFile);
std::wstring olderLogFileName(const std::wstring& programFile);

// An attempt id as a line writes it: eight lower-case hexadecimal digits.
std::wstring attemptIdText(std::uint32_t id);

}  // namespace orv
