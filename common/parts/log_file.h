#pragma once
// The programs' log files (Windows only; what a line holds, the bound and what a line never
// holds are log_rules.h's). Each line is one append through a handle opened for FILE_APPEND_DATA
// alone, a whole line per write, after a line break when the file does not end in one: a crash
// mid-line loses at most that line, and programs that share a log never cut into each other's
// lines. A file that would grow past the bound becomes the older generation ("<name>.old.log",
// replacing the one before) and the line starts a fresh file. The debugger output (trace.h)
// stays as it is; a line that cannot be written is lost without a word, and the program goes on.
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "admin_folder.h"
#include "scoped_handle.h"

namespace orv {

// Where a log lives.
enum class LogPlace {
  // "<installed folder>\Logs" for the elevated programs: made with an Administrators-only DACL
  // (kLogFolderSddl; the users may read) and checked by handle before every line, as the
  // updater's work folders are.
  kInstallation,
  // "<local application data>\<identifier>\Logs", the user's own, for the programs that run as
  // the user; every folder below the base is held, a reparse point refused.
  kUser,
};

// One program's log file.
class LogFile {
 public:
  // `base` is the folder the log's folder lies in: the installed folder (kInstallation) or the
  // local application data folder (kUser). `programFile` names the files (log_rules.h).
  LogFile(LogPlace place, const std::wstring& base, const std::wstring& programFile,
          std::wstring version, FolderOwners owners = FolderOwners::kAdministrators);
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Appends one line; false when it could not be written. Any thread, any process.
  bool write(const std::wstring& attempt, const std::wstring& code, const std::wstring& text);

  const std::wstring& folder() const { return folder_; }
  const std::wstring& path() const { return path_; }
  const std::wstring& olderPath() const { return olderPath_; }

 private:
  // The log's folder, made when missing, checked and held while one line is written.
  class HeldLogFolder;
  bool writeLine(const std::string& line);

  LogPlace place_;
  std::wstring base_;
  std::wstring folder_;
  std::wstring path_;
  std::wstring olderPath_;
  std::wstring version_;
  FolderOwners owners_;
  bool folderPrepared_ = false;  // made, or its DACL set again, by this process
  std::mutex mutex_;
};

// The folders the places name: the installed folder (the settings' "Path", else the running
// program's folder) and the user's local application data folder.
std::wstring installedFolder();
std::wstring localAppDataFolder();

// The running program's log: named once at its start (nothing is written then), and written
// from any thread afterwards. `module` gives the version (null: the program file's). The folder
// is found at the first line, so a library may name its log while it is being loaded.
void openProgramLog(LogPlace place, const std::wstring& programFile, HMODULE module = nullptr);
// One line in the program's log, outside an update attempt ("-") or inside the one named;
// nothing happens when no log is open or the line cannot be written. `code` is "-" or empty
// for a line that reports no failure.
void logLine(const std::wstring& code, const std::wstring& text);
void logAttemptLine(const std::wstring& attempt, const std::wstring& code,
                    const std::wstring& text);
// A fresh attempt id (eight hexadecimal digits, random).
std::wstring newAttemptId();
// The program log's file (empty before its first line); the tests read it.
std::wstring programLogPath();
// The test builds: which owners of the installation place's folder are accepted
// (admin_folder.h; under Wine every file is owned by the user). Before openProgramLog.
void setLogFolderOwnersForTesting(FolderOwners owners);

}  // namespace orv
