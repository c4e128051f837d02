#include "held_folder.h"

#include <windows.h>

#include "file_system.h"
#include "folder_chain.h"
#include "path_join.h"
#include "trace.h"

namespace orv {
namespace {

constexpr wchar_t kTag[] = L"heldFolder";
constexpr wchar_t kRemoveTag[] = L"removeFolderTree";

// One entry of a folder being removed: a file is deleted, a folder removed with its contents, a
// junction or link removed itself. True when it is gone.
bool removeEntry(const std::wstring& folder, const WIN32_FIND_DATAW& entry) {
  const std::wstring path = joinPath(folder, entry.cFileName);
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

ScopedHandle openRealFolder(const std::wstring& path, unsigned long access, unsigned long sharing) {
  ScopedHandle folder(CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
  if (!folder) {
    traceFailure(kTag, L"CreateFile " + path);
    return folder;
  }
  // The handle tells what was opened. The path's attributes are asked as well: Wine follows a
  // symbolic link even when asked not to and shows it only in the path's attributes.
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(folder.get(), &info) || !isRealFolder(info.dwFileAttributes) ||
      !isRealFolder(path)) {
    traceLine(kTag, path + L" is not a real folder");
    return ScopedHandle();
  }
  return folder;
}

ScopedHandle holdRealFolder(const std::wstring& path) {
  // Listing access takes part in sharing, so the missing delete sharing keeps the folder in
  // place; write sharing stays, because renaming a file inside needs it.
  return openRealFolder(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE);
}

bool removeFolderLink(const std::wstring& path) {
  ScopedHandle link(
      CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  // Only a handle on the reparse point itself is deleted (Wine opens what a link names).
  if (!link || !GetFileInformationByHandle(link.get(), &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    traceLine(kTag, L"not removed: " + path);
    return false;
  }
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition,
                                    sizeof(disposition)) != FALSE;
}

bool removeEmptyRealFolder(const std::wstring& path) {
  // Deleted through the handle that was checked, so a link put in its place is never removed
  // instead (nor followed).
  const ScopedHandle folder = openRealFolder(
      path, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  if (folder && SetFileInformationByHandle(folder.get(), FileDispositionInfo, &disposition,
                                           sizeof(disposition)))
    return true;
  if (folder) traceFailure(kTag, L"delete " + path);
  return false;
}

bool HeldFolders::hold(const std::wstring& base, const std::wstring& folder) {
  const auto chain = foldersBelow(base, folder);
  if (!chain) {
    traceLine(kTag, folder + L" is not a plain path below " + base);
    return false;
  }
  const std::size_t before = held_.size();
  for (const std::wstring& path : *chain) {
    // The parent is held and real, so a folder made here is made in it.
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      traceFailure(kTag, L"CreateDirectory " + path);
    ScopedHandle held = holdRealFolder(path);
    if (!held) {
      held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(before), held_.end());
      return false;
    }
    held_.push_back(std::move(held));
  }
  return true;
}

bool emptyFolder(const std::wstring& folder) {
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
  bool everyEntryGone = true;
  do {
    if (!isSelfOrParent(entry.cFileName) && !removeEntry(folder, entry)) everyEntryGone = false;
  } while (FindNextFileW(find.get(), &entry));
  return everyEntryGone;
}

bool removeFolderTree(const std::wstring& folder) {
  if (!isFolder(folder)) return true;
  if (!emptyFolder(folder)) return false;
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (removeEmptyRealFolder(folder) || !isFolder(folder)) return true;
  traceFailure(kRemoveTag, L"RemoveDirectory " + folder);
  return false;
}

}  // namespace orv
