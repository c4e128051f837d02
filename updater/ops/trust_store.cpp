#include "trust_store.h"

#include <vector>

#include "ansi_text.h"
#include "path_join.h"
#include "product.h"
#include "trace.h"
#include "work_folder.h"

namespace orv::updater {
namespace {

constexpr wchar_t kTag[] = L"TrustStore";
// No trusted file is larger (the client's own bounds are below this).
constexpr LONGLONG kMaxFileSize = 32LL << 20;

// A plain file with one name, as its handle says.
bool isPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info = {};
  return GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
         !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

ScopedHandle openForDeletion(const std::wstring& path) {
  return ScopedHandle(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool deleteByHandle(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

bool writeAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written != chunk)
      return false;
    done += chunk;
  }
  return FlushFileBuffers(file);
}

// Renames the open file to `target`, replacing what is there, through the handle.
bool renameByHandle(HANDLE file, const std::wstring& target) {
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::copy(target.begin(), target.end(), info->FileName);
  return SetFileInformationByHandle(file, FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size()));
}

}  // namespace

std::wstring trustFolderOf(const std::wstring& installedFolder) {
  return joinPath(installedFolder, kTrustFolderName);
}

std::unique_ptr<TrustStore> TrustStore::open(const std::wstring& installedFolder,
                                             FolderOwners owners) {
  const std::wstring folder = trustFolderOf(installedFolder);
  FolderDescriptor descriptor(kWorkFolderSddl);
  if (!descriptor.valid()) return nullptr;
  ScopedHandle held = makeOrCheckAdminFolder(folder, descriptor, owners);
  if (!held) {
    traceFailure(kTag, L"the trusted metadata's folder " + folder);
    return nullptr;
  }
  return std::unique_ptr<TrustStore>(new TrustStore(folder, std::move(held)));
}

std::wstring TrustStore::pathOf(const std::string& name) const {
  return joinPath(folder_, fromUtf8(name));
}

std::optional<std::string> TrustStore::read(const std::string& name) {
  const ScopedHandle file(CreateFileW(pathOf(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !isPlainFile(file.get()) || !GetFileSizeEx(file.get(), &size) ||
      size.QuadPart > kMaxFileSize)
    return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() &&
      (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
       read != bytes.size()))
    return std::nullopt;
  return bytes;
}

bool TrustStore::write(const std::string& name, const std::string& bytes) {
  const std::wstring target = pathOf(name);
  const std::wstring temporary = target + L".new";
  // What an earlier write left under the temporary name goes first, by its handle.
  if (const ScopedHandle stale = openForDeletion(temporary); stale && !deleteByHandle(stale.get()))
    return false;
  ScopedHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                                0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    traceFailure(kTag, L"CreateFile (new) " + temporary);
    return false;
  }
  if (!isPlainFile(file.get()) || !writeAll(file.get(), bytes) ||
      !renameByHandle(file.get(), target)) {
    traceFailure(kTag, L"replace " + target);
    (void)deleteByHandle(file.get());
    return false;
  }
  return true;
}

bool TrustStore::remove(const std::string& name) {
  const ScopedHandle file = openForDeletion(pathOf(name));
  if (!file) return GetLastError() == ERROR_FILE_NOT_FOUND;
  return deleteByHandle(file.get());
}

}  // namespace orv::updater
