#pragma once
// Dotted paths into Lua tables ("MSGcallbacks.WM_TIMER.1.span"), split into their keys.
#include <string>
#include <vector>

namespace orv::kavrel {

struct TablePathKey {
  bool isIndex = false;  // a whole number: indexes an array
  long long index = 0;
  std::string name;  // otherwise: a string key
};

// Splits `path` at its dots. A component made only of decimal digits (at most 18) becomes an
// array index; any other component is a string key. An empty path or an empty component (leading,
// trailing or doubled dot) makes the whole path invalid: the result is then empty.
std::vector<TablePathKey> splitTablePath(const std::string& path);

// Whether `typeName` names int or wchar_t* (the run-time type names callers pass).
enum class GlobalVarType { Unknown, Int, WideText };
GlobalVarType classifyTypeName(const char* typeName);

}  // namespace orv::kavrel
