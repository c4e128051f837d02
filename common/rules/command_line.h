#pragma once
// Command lines: splitting one into arguments, the way all three programs read their options,
// and quoting a program path for one.
#include <string>
#include <vector>

namespace orv {

// Appends the arguments of `text` to `args`. Blanks and tabs separate arguments; a double quote
// starts an argument that runs to the next double quote (or the end). A quoted argument that is
// empty or only blanks is skipped. There are no escapes: a backslash is an ordinary character.
// Returns false for an empty text (nothing appended).
bool splitCommandLine(const std::wstring& text, std::vector<std::wstring>& args);

// A program's start-up reading its own command line into `tokens` (token 0 is the program).
// False, and the program ends, for a null or empty line, and for a line of blanks alone (no
// tokens) when the program requires tokens.
bool readProgramTokens(const wchar_t* commandLine, bool tokensRequired,
                       std::vector<std::wstring>& tokens);

// Quotes a program path for a command line, so that a path with blanks cannot be read as a
// shorter program path ("C:\Program Files\x.exe" must never start C:\Program.exe). A path
// already in quotes is given back as it is.
std::wstring quoteProgramPath(const std::wstring& path);

}  // namespace orv
