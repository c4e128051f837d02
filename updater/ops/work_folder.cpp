#include "work_folder.h"

#include <objbase.h>

#include "admin_folder.h"
#include "file_system.h"
#include "held_folder.h"
#include "path_join.h"
#include "trace.h"

namespace orv::updater {

const wchar_t kWorkFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

namespace {

constexpr wchar_t kTag[] = L"workFolder";

// A name no one can have chosen in advance: 128 random bits.
std::wstring uniqueName() {
  GUID guid = {};
  if (FAILED(CoCreateGuid(&guid))) return std::wstring();
  wchar_t text[40];
  swprintf(text, 40, L"%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
           static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
           guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
           guid.Data4[7]);
  return text;
}

// What earlier attempts could not remove goes now; what still stays (a file another program
// holds) is left for a later attempt and never stops this one.
void removeLeftovers(const std::wstring& parent) {
  if (!emptyFolder(parent)) traceLine(kTag, L"left for a later attempt: some of " + parent);
}

}  // namespace

std::unique_ptr<WorkFolder> WorkFolder::create(const std::wstring& parentPath,
                                               WorkFolderOwners owners) {
  FolderDescriptor descriptor(kWorkFolderSddl);
  ScopedHandle parent = makeOrCheckAdminFolder(parentPath, descriptor, owners);
  if (!parent) return nullptr;
  removeLeftovers(parentPath);

  const std::wstring name = uniqueName();
  if (name.empty()) {
    traceLine(kTag, L"no unique name");
    return nullptr;
  }
  const std::wstring path = joinPath(parentPath, name);
  // Made here and now, or not at all: an existing folder of that name is no work folder.
  if (!CreateDirectoryW(path.c_str(), descriptor.attributes())) {
    traceFailure(kTag, L"CreateDirectory " + path);
    return nullptr;
  }
  ScopedHandle folder = openAdminFolder(path, owners);
  if (!folder) {
    removeFolderTree(path);
    return nullptr;
  }
  return std::unique_ptr<WorkFolder>(
      new WorkFolder(parentPath, path, std::move(parent), std::move(folder)));
}

bool WorkFolder::holdFolderOf(const std::wstring& filePath) {
  const std::wstring folder = filePath.substr(0, filePath.rfind(L'\\'));
  return folder == path_ || below_.hold(path_, folder);
}

bool WorkFolder::remove() {
  if (removed_) return true;
  below_.release();
  folder_.reset();
  removed_ = removeFolderTree(path_) && !pathExists(path_);
  if (!removed_) traceLine(kTag, L"left for a later attempt: " + path_);
  parent_.reset();
  if (removed_) removeEmptyRealFolder(parentPath_);  // fails, as it should, when not empty
  return removed_;
}

std::wstring folderSecuritySddl(const std::wstring& path) {
  const ScopedHandle folder(CreateFileW(
      path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return folder ? securitySddl(folder.get()) : std::wstring();
}

}  // namespace orv::updater
