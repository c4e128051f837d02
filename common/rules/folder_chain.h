#pragma once
// The folders a path passes through below a base folder, for code that checks each one on the
// way (the updater's folders under the user's temporary folder). Plain text; no Windows headers.
#include <optional>
#include <string>
#include <vector>

namespace orv {

// Every folder from just below `base` down to `folder`, outermost first, each written as the
// base's text (with one trailing backslash) and the components up to it joined by single
// backslashes: base "C:\T\" and folder "C:\T\\a\b" give "C:\T\a" and "C:\T\a\b"; the base itself
// gives none. Empty components (doubled backslashes) are skipped. No answer for an empty base, a
// folder that does not begin with the base's text, or a component that would let Windows name
// another folder than the one checked: "." or "..", one holding ':' or '/', or one ending in a
// dot or a blank (Windows drops those).
std::optional<std::vector<std::wstring>> foldersBelow(const std::wstring& base,
                                                      const std::wstring& folder);

}  // namespace orv
