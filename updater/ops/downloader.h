#pragma once
// The updater's downloader: every file it fetches, the signed manifest included, comes through
// DownloadOneFile, over plain HTTP and HTTPS alike through one small WinINet client that writes
// the body itself: into a file it creates new and checks by its handle, and deletes through that
// handle unless the body was whole, so nothing planted at a path (a file, a link, a hard link) is
// ever opened or written through, and nothing goes through the internet cache. Runs on the calling
// thread and blocks it for the whole transfer, within its bounds, until the caller cancels it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "download_bounds.h"

namespace orv {
class FileManifest;
}  // namespace orv

namespace orv::updater {

// What a caller adds to a download: a way to end it early, and what it learns of a failure.
struct DownloadControl {
  // Asked while the transfer runs, also from its watch thread: true ends it as a failure, at
  // once, with no further attempt.
  std::function<bool()> cancelled;
  // Set when the file could not be written here (its folder cannot be made, its name is taken,
  // the disk is full): a local failure, which no further attempt mends.
  bool localFailure = false;
  // The last failure's code, when the download failed: the Win32 or WinINet error, or the HTTP
  // status of an answer other than 200 (then `httpStatus` is true).
  unsigned long failureCode = 0;
  bool httpStatus = false;
  // The most bytes the caller allows (0: the bounds' size cap alone); an answer announced as
  // longer fails at once and sets `lengthExceeded`.
  std::uint64_t maxLength = 0;
  bool lengthExceeded = false;
  // The last answer's Date header, in seconds since 1970, when it had one.
  std::optional<std::int64_t> serverDate;
};

// Fetches `url` into `localPath` in up to retries + 1 attempts without a pause. Creates the
// target folder with its parents first (0 without any request when that fails) and purges the
// URL from the internet cache before each attempt (the client itself writes nothing there). The
// body goes into `localPath`, created new (an existing file there fails the call as a local
// failure and is left as it is), and stays only when whole: the announced length, within the
// bounds. Each attempt is one DownloadFile_Https, the WinINet client: a GET bypassing the cache,
// accepting any server certificate, following at most the bounds' redirects, counting only status
// 200 with a Content-Length within the size cap and a body exactly that long. Returns the byte
// count of the fetched file; 0 is failure, and so is a fetched file of zero bytes.
std::uint64_t DownloadOneFile(const std::wstring& url, const std::wstring& localPath,
                              unsigned retries, DownloadControl* control = nullptr);

// DownloadOneFile's client and rules, with the body kept in memory instead of a file: the body,
// or nothing when the download failed.
std::optional<std::string> DownloadToMemory(const std::wstring& url, unsigned retries,
                                            DownloadControl* control = nullptr);

// The manifest's download of one listed file: the update server's base URL + "/" + remote
// subfolder + "/" + name into the manifest's directory + "\" + local subfolder + "\" + name, with
// 3 retries. True when bytes came.
bool downloadListedFile(const std::wstring& baseUrl, const FileManifest& manifest,
                        const std::wstring& fileName, const std::wstring& localSubfolder,
                        const std::wstring& remoteSubfolder, DownloadControl* control = nullptr);

}  // namespace orv::updater
