#pragma once
// Splitting of a command line into arguments, the way all three programs read their options.
#include <string>
#include <vector>

namespace orv {

// Appends the arguments of `text` to `args`. Blanks and tabs separate arguments; a double quote
// starts an argument that runs to the next double quote (or the end). A quoted argument that is
// empty or only blanks is skipped. There are no escapes: a backslash is an ordinary character.
// Returns false for an empty text (nothing appended).
bool splitCommandLine(const std::wstring& text, std::vector<std::wstring>& args);

}  // namespace orv
