#include "log_file.h"

#include <objbase.h>
#include <shlobj.h>

#include "held_folder.h"
#include "log_rules.h"
#include "file_version.h"
#include "process_util.h"
#include "product.h"
#include "reg_key.h"

namespace orv {

namespace {

LogTime utcNow() {
  SYSTEMTIME t = {};
  GetSystemTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

// The log file itself, never what a reparse point names, opened to append and to read its last
// byte; empty unless it is a plain file with one name (a hard link planted under the log's name
// would make every line land in another file).
ScopedHandle openLogFile(const std::wstring& path) {
  ScopedHandle file(CreateFileW(
      path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!file || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
      info.nNumberOfLinks != 1)
    return ScopedHandle();
  return file;
}

std::uint64_t sizeOf(HANDLE file) {
  LARGE_INTEGER size = {};
  return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

char lastByteOf(HANDLE file, std::uint64_t size) {
  if (size == 0) return '\n';
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(size - 1);
  at.OffsetHigh = static_cast<DWORD>((size - 1) >> 32);
  char last = 0;
  DWORD read = 0;
  return ReadFile(file, &last, 1, &read, &at) && read == 1 ? last : 0;
}

}  // namespace

// The installation place's folder, checked by handle (made, or its DACL set again, at the first
// line of the process), or every folder of the user place below its base, held.
class LogFile::HeldLogFolder {
 public:
  explicit HeldLogFolder(LogFile& log) {
    if (log.place_ == LogPlace::kUser) {
      held_ = userFolders_.hold(log.base_, log.folder_);
      return;
    }
    if (log.folderPrepared_) {
      adminFolder_ = openAdminFolder(log.folder_, log.owners_);
    } else {
      FolderDescriptor descriptor(kLogFolderSddl);
      adminFolder_ = makeOrCheckAdminFolder(log.folder_, descriptor, log.owners_);
      log.folderPrepared_ = adminFolder_.valid();
    }
    held_ = adminFolder_.valid();
  }
  explicit operator bool() const { return held_; }

 private:
  ScopedHandle adminFolder_;
  HeldFolders userFolders_;
  bool held_ = false;
};

LogFile::LogFile(LogPlace place, const std::wstring& base, const std::wstring& programFile,
                 std::wstring version, FolderOwners owners)
    : place_(place),
      base_(base),
      folder_(place == LogPlace::kUser ? base + L"\\" + kProductId + L"\\" + kLogFolderName
                                       : base + L"\\" + kLogFolderName),
      path_(folder_ + L"\\" + logFileName(programFile)),
      olderPath_(folder_ + L"\\" + olderLogFileName(programFile)),
      version_(std::move(version)),
      owners_(owners) {}

bool LogFile::write(const std::wstring& attempt, const std::wstring& code,
                    const std::wstring& text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const HeldLogFolder folder(*this);
  return folder && writeLine(logLine(utcNow(), version_, attempt, code, text));
}

bool LogFile::writeLine(const std::string& line) {
  ScopedHandle file = openLogFile(path_);
  if (!file) return false;
  std::uint64_t size = sizeOf(file.get());
  if (logIsFull(size, line.size())) {
    // Another process may have rotated it meanwhile: then this one's line goes to the fresh file.
    file.reset();
    if (!MoveFileExW(path_.c_str(), olderPath_.c_str(), MOVEFILE_REPLACE_EXISTING) &&
        GetLastError() != ERROR_FILE_NOT_FOUND)
      return false;
    file = openLogFile(path_);
    if (!file) return false;
    size = sizeOf(file.get());
  }
  const std::string bytes = logAppendBytes(line, size, lastByteOf(file.get(), size));
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::wstring installedFolder() {
  RegKey key;
  std::wstring path;
  if (key.open(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_READ | KEY_WOW64_32KEY) == ERROR_SUCCESS &&
      key.readText(L"Path", &path, MAX_PATH) && !path.empty())
    return path;
  const std::wstring folder = moduleDirectory();
  return folder.empty() ? folder : folder.substr(0, folder.size() - 1);
}

std::wstring localAppDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
    return std::wstring();
  return folder;
}

// ---- the running program's log ----

namespace {

struct ProgramLog {
  std::mutex mutex;
  bool named = false;
  LogPlace place = LogPlace::kUser;
  std::wstring programFile;
  HMODULE module = nullptr;
  FolderOwners owners = FolderOwners::kAdministrators;
  std::unique_ptr<LogFile> file;  // made at the first line
};

ProgramLog& programLog() {
  static ProgramLog log;
  return log;
}

LogFile* programLogFile() {
  ProgramLog& log = programLog();
  const std::lock_guard<std::mutex> lock(log.mutex);
  if (!log.named) return nullptr;
  if (!log.file) {
    const std::wstring base =
        log.place == LogPlace::kUser ? localAppDataFolder() : installedFolder();
    if (base.empty()) return nullptr;
    log.file = std::make_unique<LogFile>(log.place, base, log.programFile,
                                         moduleVersionText(log.module), log.owners);
  }
  return log.file.get();
}

}  // namespace

void openProgramLog(LogPlace place, const std::wstring& programFile, HMODULE module) {
  ProgramLog& log = programLog();
  const std::lock_guard<std::mutex> lock(log.mutex);
  if (log.named) return;
  log.named = true;
  log.place = place;
  log.programFile = programFile;
  log.module = module;
}

void logLine(const std::wstring& code, const std::wstring& text) {
  logAttemptLine(L"-", code, text);
}

void logAttemptLine(const std::wstring& attempt, const std::wstring& code,
                    const std::wstring& text) {
  if (LogFile* file = programLogFile()) file->write(attempt, code, text);
}

std::wstring newAttemptId() {
  GUID guid = {};
  if (FAILED(CoCreateGuid(&guid))) guid.Data1 = GetTickCount() ^ GetCurrentProcessId();
  return attemptIdText(static_cast<std::uint32_t>(guid.Data1));
}

std::wstring programLogPath() {
  ProgramLog& log = programLog();
  const std::lock_guard<std::mutex> lock(log.mutex);
  return log.file ? log.file->path() : std::wstring();
}

void setLogFolderOwnersForTesting(FolderOwners owners) {
  ProgramLog& log = programLog();
  const std::lock_guard<std::mutex> lock(log.mutex);
  log.owners = owners;
}

}  // namespace orv
