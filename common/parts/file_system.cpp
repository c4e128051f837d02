#include "file_system.h"

#include <windows.h>

namespace orv {
namespace {

DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool hasAttribute(DWORD attributes, DWORD attribute) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute);
}

}  // namespace

bool pathExists(const std::wstring& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool isFolder(const std::wstring& path) {
  return hasAttribute(attributesOf(path), FILE_ATTRIBUTE_DIRECTORY);
}

bool isRealFolder(unsigned long attributes) {
  return hasAttribute(attributes, FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool isRealFolder(const std::wstring& path) { return isRealFolder(attributesOf(path)); }

}  // namespace orv
