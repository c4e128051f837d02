#include "file_system.h"

#include <windows.h>

#include "held_folder.h"
#include "trace.h"
#include "win/scoped_handle.h"

namespace orv {
namespace {

constexpr wchar_t kRemoveTag[] = L"removeFolderTree";

DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool hasAttribute(DWORD attributes, DWORD attribute) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute);
}

// One entry of a folder being removed: a file is deleted, a folder removed with its contents, a
// junction or link removed itself. True when it is gone.
bool removeEntry(const std::wstring& folder, const WIN32_FIND_DATAW& entry) {
  const std::wstring path = folder + L"\\" + entry.cFileName;
  if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // A read-only file is deleted too; one try only: a file in use stays, and so does its folder.
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path.c_str())) return true;
    traceFailure(kRemoveTag, L"DeleteFile " + path);
    return false;
  }
  // What a junction or link points to lies outside this folder, and a link back up would never
  // end.
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return removeFolderLink(path);
  return removeFolderTree(path);
}

bool isSelfOrParent(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
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

bool isReparsePoint(const std::wstring& path) {
  return hasAttribute(attributesOf(path), FILE_ATTRIBUTE_REPARSE_POINT);
}

std::optional<std::uint64_t> fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool removeFolderTree(const std::wstring& folder) {
  if (!isFolder(folder)) return true;
  bool everyEntryGone = true;
  {
    // Only a real folder is emptied, held meanwhile so that its path keeps naming it: a junction
    // or link in its place would lead the deletes into whatever it names.
    const ScopedHandle held = holdRealFolder(folder);
    if (!held) return false;
    WIN32_FIND_DATAW entry = {};
    ScopedFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) {
      traceFailure(kRemoveTag, L"FindFirstFile " + folder);
      return false;
    }
    do {
      if (!isSelfOrParent(entry.cFileName) && !removeEntry(folder, entry)) everyEntryGone = false;
    } while (FindNextFileW(find.get(), &entry));
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  if (!everyEntryGone) return false;
  if (removeEmptyRealFolder(folder) || !isFolder(folder)) return true;
  traceFailure(kRemoveTag, L"RemoveDirectory " + folder);
  return false;
}

}  // namespace orv
