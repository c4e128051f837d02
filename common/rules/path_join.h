#pragma once
// The one way the programs join paths: plain concatenation with "\", never normalised, so a
// folder that already ends in "\" gives a doubled separator (which Windows accepts) and an empty
// part gives "\\". Pure logic.
#include <string>

namespace orv {

// `path` + "\" + each further part, in order.
template <class... Parts>
std::wstring joinPath(std::wstring path, const Parts&... parts) {
  ((path += L'\\', path += parts), ...);
  return path;
}

}  // namespace orv
