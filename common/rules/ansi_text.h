#pragma once
// Conversions between the programs' UTF-16 text and the ANSI code page, used for everything that
// crosses to Lua, the C runtime, the XML library and the cryptographic library.
// A character the code page cannot hold becomes the code page's default character; a failed
// conversion gives an empty text. (Built natively, the "code page" is UTF-8: toUtf8 and
// fromUtf8 below.)
#include <string>

namespace orv {

std::string toNarrow(const std::wstring& text);
std::wstring toWide(const std::string& text);

// UTF-8, the same on every system: for texts built byte-wise (JSON) whose every byte above 0x7F
// must belong to a character. UTF-16 pairs on Windows, one unit per character elsewhere; an
// unpaired surrogate becomes U+FFFD, and so does each byte of an invalid UTF-8 sequence.
std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

}  // namespace orv
