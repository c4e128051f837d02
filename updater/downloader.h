#pragma once
// The updater's downloader: every file it fetches, the signed manifest included, comes through
// DownloadOneFile. Plain HTTP goes through the URL moniker service, HTTPS through a small WinINet
// client. Runs on the calling thread and blocks it for the whole transfer.
#include <cstdint>
#include <string>

namespace orv {

class FileManifest;

// Fetches `url` into `localPath` in up to retries + 1 attempts without a pause. Creates the
// target folder with its parents first (0 without any request when that fails) and purges the
// URL from the internet cache before each attempt. Returns the byte count of the fetched file;
// 0 is failure, and so is a fetched file of zero bytes.
std::uint32_t DownloadOneFile(const std::wstring& url, const std::wstring& localPath,
                              unsigned retries);

// Results of DownloadFile_Https.
enum HttpsResult : int { kHttpsOk = 0, kHttpsFailed = 1, kHttpsTimeout = 2 };

// One HTTPS (or HTTP) GET through WinINet, bypassing the cache, accepting any server
// certificate. Succeeds only for status 200 with a body as long as its Content-Length (0 when
// absent). The body goes to a temporary file beside the target while it is read and replaces the
// target only after the length check, so memory stays bounded and a short body writes nothing.
// `byteCount` (may be null) receives the length on success.
int DownloadFile_Https(const std::wstring& url, const std::wstring& localPath,
                       std::uint32_t* byteCount);

// The manifest's download of one listed file: remote base + "/" + remote subfolder + "/" + name
// into directory + "\" + local subfolder + "\" + name, with 3 retries. True when bytes came.
bool downloadListedFile(const FileManifest& manifest, const std::wstring& fileName,
                        const std::wstring& localSubfolder, const std::wstring& remoteSubfolder);

// Time-outs of the WinINet client in milliseconds; 0 (the default) leaves the platform's own.
// The updater sets none; tests shorten them to show the time-out path.
void setHttpsTimeoutsForTesting(unsigned long milliseconds);

}  // namespace orv
