#pragma once
// Whether the address a browser reports for its document is the page it was sent to. The
// control reports a file path as a "file:" URL with forward slashes, and may change the letter
// case of the path, so both sides are compared in one plain form. Pure logic.
#include <string>

namespace orv {

// The plain form: "file:" prefixes dropped, "\" as "/", ASCII letters in lower case.
std::wstring plainPageAddress(const std::wstring& address);

bool samePageAddress(const std::wstring& requested, const std::wstring& reported);

}  // namespace orv
