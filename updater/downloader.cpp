#include "downloader.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "file_manifest.h"
#include "file_ops.h"
#include "file_rules.h"
#include "product.h"
#include "trace.h"
#include "win/scoped_handle.h"
#include "win/scoped_internet.h"

namespace orv {
namespace {

constexpr wchar_t kHttpsTag[] = L"DownloadFile_Https";
constexpr wchar_t kDownloadTag[] = L"DownloadOneFile";

std::atomic<unsigned long> g_httpsTimeout{0};

struct UrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query
};

// The platform's own URL parser decides the scheme; a URL it cannot parse is not HTTPS.
bool crackUrl(const std::wstring& url, UrlParts& parts) {
  URL_COMPONENTSW c = {};
  c.dwStructSize = sizeof(c);
  c.dwSchemeLength = 1;  // non-zero: point into the URL
  c.dwHostNameLength = 1;
  c.dwUrlPathLength = 1;
  c.dwExtraInfoLength = 1;
  if (url.empty() || !InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &c))
    return false;
  parts.scheme = c.nScheme;
  parts.host.assign(c.lpszHostName ? c.lpszHostName : L"", c.dwHostNameLength);
  parts.port = c.nPort;
  parts.object.assign(c.lpszUrlPath ? c.lpszUrlPath : L"", c.dwUrlPathLength);
  if (c.lpszExtraInfo) parts.object.append(c.lpszExtraInfo, c.dwExtraInfoLength);
  if (parts.object.empty()) parts.object = L"/";
  return true;
}

// Handles take their time-outs from their parent when created; the request's own decide.
void applyTestTimeouts(HINTERNET handle) {
  const unsigned long t = g_httpsTimeout;
  if (t == 0) return;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    DWORD value = t;
    InternetSetOptionW(handle, option, &value, sizeof(value));
  }
}

bool isHttpsUrl(const std::wstring& url) {
  UrlParts parts;
  return crackUrl(url, parts) && parts.scheme == INTERNET_SCHEME_HTTPS;
}

// Records a failed WinINet call and turns its error into the client's result.
int internetFailure(const wchar_t* call) {
  const unsigned long error = traceFailure(kHttpsTag, call);
  if (error == ERROR_INTERNET_TIMEOUT) {
    traceLine(kHttpsTag, L"超时");
    return kHttpsTimeout;
  }
  wchar_t hex[16];
  std::swprintf(hex, 16, L"%08lx", error);
  traceLine(kHttpsTag, hex);
  return kHttpsFailed;
}

// The body's temporary file beside the target: removed unless it replaced the target.
class PartFile {
 public:
  explicit PartFile(std::wstring path) : path_(std::move(path)) {
    handle_.reset(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  ~PartFile() {
    handle_.reset();
    if (!committed_) DeleteFileW(path_.c_str());
  }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  bool isOpen() const { return handle_.valid(); }
  bool write(const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(handle_.get(), data, size, &written, nullptr) && written == size;
  }
  // Closes the file and puts it in the target's place.
  bool replace(const std::wstring& target) {
    handle_.reset();
    committed_ = MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    return committed_;
  }

 private:
  std::wstring path_;
  ScopedHandle handle_;
  bool committed_ = false;
};

}  // namespace

void setHttpsTimeoutsForTesting(unsigned long milliseconds) { g_httpsTimeout = milliseconds; }

int DownloadFile_Https(const std::wstring& url, const std::wstring& localPath,
                       std::uint32_t* byteCount) {
  UrlParts parts;
  if (!crackUrl(url, parts) ||
      (parts.scheme != INTERNET_SCHEME_HTTP && parts.scheme != INTERNET_SCHEME_HTTPS)) {
    traceLine(kHttpsTag, L"not an HTTP or HTTPS URL: " + url);
    return kHttpsFailed;
  }
  const bool secure = parts.scheme == INTERNET_SCHEME_HTTPS;

  const std::wstring agent = std::wstring(kProductId) + L"Update";
  ScopedInternet session(
      InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return internetFailure(L"InternetOpen");
  applyTestTimeouts(session.get());

  const DWORD connectFlags = INTERNET_FLAG_KEEP_CONNECTION | (secure ? INTERNET_FLAG_SECURE : 0);
  ScopedInternet connection(InternetConnectW(session.get(), parts.host.c_str(), parts.port, nullptr,
                                             nullptr, INTERNET_SERVICE_HTTP, connectFlags, 1));
  if (!connection) return internetFailure(L"InternetConnect");

  const DWORD requestFlags =
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
      (secure ? INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID : 0);
  ScopedInternet request(HttpOpenRequestW(connection.get(), L"GET", parts.object.c_str(), nullptr,
                                          nullptr, nullptr, requestFlags, 1));
  if (!request) return internetFailure(L"HttpOpenRequest");
  applyTestTimeouts(request.get());

  // The server's certificate is never a reason to fail: what is fetched is trusted only through
  // the signed manifest's digests.
  DWORD security = 0;
  DWORD size = sizeof(security);
  if (InternetQueryOptionW(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, &size)) {
    security |= SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                SECURITY_FLAG_IGNORE_WRONG_USAGE | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
    InternetSetOptionW(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
  }

  if (!HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0))
    return internetFailure(L"HttpSendRequest");

  DWORD status = 0;
  size = sizeof(status);
  if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &size, nullptr))
    return internetFailure(L"HttpQueryInfo");
  DWORD contentLength = 0;
  size = sizeof(contentLength);
  if (!HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                      &contentLength, &size, nullptr))
    contentLength = 0;
  if (status != HTTP_STATUS_OK) {
    traceLine(kHttpsTag, L"status " + std::to_wstring(status) + L" for " + url);
    return kHttpsFailed;
  }

  PartFile part(localPath + L".part");
  if (!part.isOpen()) {
    traceFailure(kHttpsTag, L"Create " + localPath + L".part");
    return kHttpsFailed;
  }
  std::vector<unsigned char> chunk(64 * 1024);
  unsigned long long total = 0;
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read))
      return internetFailure(L"InternetReadFile");
    if (read == 0) break;
    if (!part.write(chunk.data(), read)) {
      traceFailure(kHttpsTag, L"WriteFile " + localPath + L".part");
      return kHttpsFailed;
    }
    total += read;
  }
  if (total != contentLength) {
    traceLine(kHttpsTag, L"download " + url + L" failed: " + std::to_wstring(total) + L" of " +
                             std::to_wstring(contentLength) + L" bytes");
    return kHttpsFailed;
  }
  if (!part.replace(localPath)) {
    traceFailure(kHttpsTag, L"Create " + localPath);
    return kHttpsFailed;
  }
  if (byteCount) *byteCount = static_cast<std::uint32_t>(total);
  return kHttpsOk;
}

std::uint32_t DownloadOneFile(const std::wstring& url, const std::wstring& localPath,
                              unsigned retries) {
  const bool https = isHttpsUrl(url);

  const std::wstring folder = targetFolderOf(localPath);
  if (!folder.empty() && !PathFileExistsW(folder.c_str())) {
    const int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
      SetLastError(static_cast<DWORD>(made));
      traceFailure(kDownloadTag, L"SHCreateDirectoryEx " + folder);
      return 0;
    }
  }

  std::uint32_t byteCount = 0;
  for (unsigned long long attempt = 0; attempt <= retries; ++attempt) {
    DeleteUrlCacheEntryW(url.c_str());  // a missing entry is no error
    if (https) {
      if (DownloadFile_Https(url, localPath, &byteCount) != kHttpsOk) continue;
    } else {
      const HRESULT hr = URLDownloadToFileW(nullptr, url.c_str(), localPath.c_str(), 0, nullptr);
      if (hr != S_OK) {
        wchar_t text[64];
        std::swprintf(text, 64, L"URLDownloadToFile failed, 0x%08lx",
                      static_cast<unsigned long>(hr));
        traceLine(kDownloadTag, text);
        continue;
      }
      ScopedHandle file(CreateFileW(localPath.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file) {
        const DWORD size = GetFileSize(file.get(), nullptr);
        if (size != INVALID_FILE_SIZE) byteCount = size;
      }
    }
    if (fileExists(localPath)) return byteCount;
  }
  traceLine(kDownloadTag, L"DownloadOneFile failed: " + url);
  return 0;
}

bool downloadListedFile(const FileManifest& manifest, const std::wstring& fileName,
                        const std::wstring& localSubfolder, const std::wstring& remoteSubfolder) {
  const ListedFileLocation where = listedFileLocation(manifest.remoteBase(), manifest.directory(),
                                                      fileName, localSubfolder, remoteSubfolder);
  return DownloadOneFile(where.url, where.localPath, 3) != 0;
}

}  // namespace orv
