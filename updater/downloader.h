#pragma once
// The updater's downloader: every file it fetches, the signed manifest included, comes through
// DownloadOneFile. Plain HTTP goes through the URL moniker service, HTTPS through a small WinINet
// client. Runs on the calling thread and blocks it for the whole transfer, within its bounds.
#include <cstdint>
#include <string>

namespace orv {

class FileManifest;

// What one file's download may take. A bound reached ends the attempt as a failure.
struct DownloadBounds {
  unsigned long long deadlineMs = 60ull * 60 * 1000;  // the file, all its attempts: one hour
  unsigned long idleMs = 60 * 1000;                   // without a byte arriving: one minute
  unsigned maxRedirects = 5;
  std::uint64_t maxBytes = std::uint64_t(1) << 30;    // 1 GiB
};
DownloadBounds downloadBounds();
// Tests shorten the bounds; DownloadBounds{} restores the program's own.
void setDownloadBoundsForTesting(const DownloadBounds& bounds);

// Fetches `url` into `localPath` in up to retries + 1 attempts without a pause. Creates the
// target folder with its parents first (0 without any request when that fails) and purges the
// URL (and every URL it was redirected to) from the internet cache before and after each
// attempt. The body goes to `localPath` + ".part" and replaces the target only when it is whole:
// the announced length, within the bounds. Returns the byte count of the fetched file; 0 is
// failure, and so is a fetched file of zero bytes.
std::uint64_t DownloadOneFile(const std::wstring& url, const std::wstring& localPath,
                              unsigned retries);

// Results of DownloadFile_Https.
enum HttpsResult : int { kHttpsOk = 0, kHttpsFailed = 1, kHttpsTimeout = 2 };

// One HTTPS (or HTTP) GET through WinINet, bypassing the cache, accepting any server
// certificate, following at most the bounds' redirects. Succeeds only for status 200 with a
// Content-Length within the size cap and a body exactly that long, read within the time bounds.
// The body goes to a temporary file beside the target while it is read and replaces the
// target only after the length check, so memory stays bounded and a short body writes nothing.
// `byteCount` (may be null) receives the length on success.
int DownloadFile_Https(const std::wstring& url, const std::wstring& localPath,
                       std::uint64_t* byteCount);

// The manifest's download of one listed file: remote base + "/" + remote subfolder + "/" + name
// into directory + "\" + local subfolder + "\" + name, with 3 retries. True when bytes came.
bool downloadListedFile(const FileManifest& manifest, const std::wstring& fileName,
                        const std::wstring& localSubfolder, const std::wstring& remoteSubfolder);

// Time-outs of the WinINet client's handles in milliseconds; 0 (the default) takes the bounds'
// time without progress. Tests shorten them to show the time-out path.
void setHttpsTimeoutsForTesting(unsigned long milliseconds);

}  // namespace orv
