#include "table_path.h"

#include <cstring>
#include <typeinfo>

namespace orv::kavrel {

std::vector<TablePathKey> splitTablePath(const std::string& path) {
  std::vector<TablePathKey> keys;
  if (path.empty()) return keys;
  size_t start = 0;
  for (;;) {
    size_t dot = path.find('.', start);
    std::string part =
        path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.empty()) return {};
    TablePathKey key;
    bool digits = part.size() <= 18;
    for (char c : part) digits = digits && c >= '0' && c <= '9';
    if (digits) {
      key.isIndex = true;
      key.index = std::stoll(part);
    } else {
      key.name = part;
    }
    keys.push_back(std::move(key));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return keys;
}

GlobalVarType classifyTypeName(const char* typeName) {
  if (!typeName) return GlobalVarType::Unknown;
  // The compiler's own rendering, and the spelled-out names other compilers produce.
  if (std::strcmp(typeName, typeid(int).name()) == 0 || std::strcmp(typeName, "int") == 0)
    return GlobalVarType::Int;
  if (std::strcmp(typeName, typeid(wchar_t*).name()) == 0 ||
      std::strcmp(typeName, "wchar_t *") == 0 || std::strcmp(typeName, "wchar_t*") == 0 ||
      std::strcmp(typeName, "unsigned short *") == 0)
    return GlobalVarType::WideText;
  return GlobalVarType::Unknown;
}

}  // namespace orv::kavrel
