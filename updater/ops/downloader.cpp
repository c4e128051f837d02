#include "downloader.h"

#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download_seams.h"
#include "file_manifest.h"
#include "file_rules.h"
#include "file_system.h"
#include "product.h"
#include "trace.h"
#include "transfer_watch.h"
#include "scoped_handle.h"
#include "scoped_internet.h"
#include "thread.h"

namespace orv::updater {
namespace {

constexpr wchar_t kHttpsTag[] = L"DownloadFile_Https";
constexpr wchar_t kDownloadTag[] = L"DownloadOneFile";

// Results of DownloadFile_Https; kWriteFailed: the file could not be written here (a local
// failure, which no further attempt mends).
enum HttpsResult : int { kHttpsOk = 0, kHttpsFailed = 1, kHttpsTimeout = 2, kWriteFailed = 3 };

// The test seams (download_seams.h): null and 0 unless a test's scoped override set them.
std::atomic<unsigned long> g_httpsTimeout{0};
std::mutex g_boundsLock;
const DownloadBounds* g_bounds = nullptr;

DownloadBounds downloadBounds() {
  std::lock_guard<std::mutex> guard(g_boundsLock);
  return g_bounds ? *g_bounds : DownloadBounds{};
}

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

// Handles take their time-outs from their parent when created; a blocking call never waits
// longer than the time without progress allows.
void applyTimeouts(HINTERNET handle, const DownloadBounds& bounds) {
  const unsigned long t = g_httpsTimeout ? g_httpsTimeout.load() : bounds.idleMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    DWORD value = t;
    InternetSetOptionW(handle, option, &value, sizeof(value));
  }
}

// The last failure's code on this thread, for the caller's DownloadControl: one download runs
// on one thread from start to end.
struct FailureCode {
  unsigned long code = 0;
  bool httpStatus = false;
  bool lengthExceeded = false;
};
// The last answer's Date header on this thread (seconds since 1970), read with its status.
thread_local std::optional<std::int64_t> t_serverDate;
thread_local FailureCode t_lastFailure;

// Records a failed WinINet call and turns its error into the client's result.
int internetFailure(const wchar_t* call) {
  const unsigned long error = traceFailure(kHttpsTag, call);
  t_lastFailure = {error, false};
  if (error == ERROR_INTERNET_TIMEOUT) {
    traceLine(kHttpsTag, L"超时");
    return kHttpsTimeout;
  }
  wchar_t hex[16];
  std::swprintf(hex, 16, L"%08lx", error);
  traceLine(kHttpsTag, hex);
  return kHttpsFailed;
}

int boundReached(const wchar_t* bound, const std::wstring& url) {
  traceLine(kHttpsTag, std::wstring(L"bound reached (") + bound + L"): " + url);
  return kHttpsFailed;
}

// Where a download's body goes: written as it arrives, kept only when whole.
class Body {
 public:
  virtual ~Body() = default;
  virtual bool write(const void* data, DWORD size) = 0;
  virtual void keep() = 0;
};

// The body in memory, for the caller once whole.
class MemoryBody : public Body {
 public:
  bool write(const void* data, DWORD size) override {
    bytes_.append(static_cast<const char*>(data), size);
    return true;
  }
  void keep() override { kept_ = true; }
  std::optional<std::string> take() {
    if (!kept_) return std::nullopt;
    return std::move(bytes_);
  }

 private:
  std::string bytes_;
  bool kept_ = false;
};

// The target file, created new by this download: CREATE_NEW with a reparse point opened itself,
// so that nothing already at its name (a file, a link, a hard link to another file) is opened,
// truncated or written through, then checked by its handle (a plain file with one name). It is
// deleted through its handle unless it was kept whole, so a cut body never stays behind, and
// nothing is ever renamed or deleted by its path.
class NewFile : public Body {
 public:
  explicit NewFile(const std::wstring& path) {
    handle_.reset(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                              nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle_) {
      traceFailure(kDownloadTag, L"CreateFile (new) " + path);
      return;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(handle_.get(), &info) || info.nNumberOfLinks != 1 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
      traceLine(kDownloadTag, path + L" is not a new plain file");
      discard();
    }
  }
  ~NewFile() { discard(); }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  bool isOpen() const { return handle_.valid(); }
  bool write(const void* data, DWORD size) override {
    DWORD written = 0;
    return WriteFile(handle_.get(), data, size, &written, nullptr) && written == size;
  }
  // The body is whole: the file stays.
  void keep() override { handle_.reset(); }

 private:
  void discard() {
    if (!handle_) return;
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition,
                                    sizeof(disposition)))
      traceFailure(kDownloadTag, L"delete a cut body");
    handle_.reset();
  }

  ScopedHandle handle_;
};

// The request of the current exchange, closed once: by its owner, or by the watch thread to end
// a call that blocks past the bounds.
class RequestSlot {
 public:
  RequestSlot() { InitializeCriticalSection(&lock_); }
  ~RequestSlot() {
    reset(nullptr);
    DeleteCriticalSection(&lock_);
  }
  RequestSlot(const RequestSlot&) = delete;
  RequestSlot& operator=(const RequestSlot&) = delete;

  HINTERNET get() {
    CriticalSectionGuard guard(lock_);
    return request_.get();
  }
  void reset(HINTERNET request) {
    CriticalSectionGuard guard(lock_);
    request_.reset(request);
  }
  void abort() { reset(nullptr); }

 private:
  CRITICAL_SECTION lock_;
  ScopedInternet request_;
};

bool isRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::wstring queryText(HINTERNET request, DWORD info) {
  std::vector<wchar_t> text(2048);
  DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!HttpQueryInfoW(request, info, text.data(), &size, nullptr)) return std::wstring();
  return std::wstring(text.data(), size / sizeof(wchar_t));
}

// The server's certificate is never a reason to fail: what is fetched is trusted only through
// the signed manifest's digests.
void acceptAnyCertificate(HINTERNET request) {
  DWORD security = 0;
  DWORD size = sizeof(security);
  if (!InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &security, &size)) return;
  security |= SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_UNKNOWN_CA |
              SECURITY_FLAG_IGNORE_WRONG_USAGE | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
              SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
  InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
}

// One request of an exchange: a connection to the URL's server and a GET, sent.
struct Exchange {
  ScopedInternet connection;
  DWORD status = 0;
};
int sendRequest(HINTERNET session, const std::wstring& url, RequestSlot& slot, Exchange& exchange,
                const TransferWatch& watch) {
  UrlParts parts;
  if (!crackUrl(url, parts) ||
      (parts.scheme != INTERNET_SCHEME_HTTP && parts.scheme != INTERNET_SCHEME_HTTPS)) {
    traceLine(kHttpsTag, L"not an HTTP or HTTPS URL: " + url);
    return kHttpsFailed;
  }
  const bool secure = parts.scheme == INTERNET_SCHEME_HTTPS;
  slot.reset(nullptr);
  const DWORD connectFlags = INTERNET_FLAG_KEEP_CONNECTION | (secure ? INTERNET_FLAG_SECURE : 0);
  exchange.connection.reset(InternetConnectW(session, parts.host.c_str(), parts.port, nullptr,
                                             nullptr, INTERNET_SERVICE_HTTP, connectFlags, 1));
  if (!exchange.connection) return internetFailure(L"InternetConnect");

  // Redirects are followed here, so that they can be counted.
  const DWORD requestFlags =
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT |
      (secure ? INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID : 0);
  slot.reset(HttpOpenRequestW(exchange.connection.get(), L"GET", parts.object.c_str(), nullptr,
                              nullptr, nullptr, requestFlags, 1));
  HINTERNET request = slot.get();
  if (!request) return internetFailure(L"HttpOpenRequest");
  applyTimeouts(request, watch.bounds());
  acceptAnyCertificate(request);
  if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0))
    return internetFailure(L"HttpSendRequest");
  DWORD size = sizeof(exchange.status);
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &exchange.status,
                      &size, nullptr))
    return internetFailure(L"HttpQueryInfo");
  return kHttpsOk;
}

// Sends the GET and follows redirects up to the bounds' count; the final exchange's request
// stays in the slot.
int exchangeFollowingRedirects(HINTERNET session, const std::wstring& url, RequestSlot& slot,
                               Exchange& exchange, const TransferWatch& watch) {
  std::wstring current = url;
  for (unsigned redirects = 0;; ++redirects) {
    const int sent = sendRequest(session, current, slot, exchange, watch);
    if (sent != kHttpsOk) return watch.expired() ? boundReached(L"time", url) : sent;
    if (!isRedirect(exchange.status)) return kHttpsOk;
    if (redirects == watch.bounds().maxRedirects) return boundReached(L"redirects", url);
    const std::wstring location = queryText(slot.get(), HTTP_QUERY_LOCATION);
    wchar_t next[INTERNET_MAX_URL_LENGTH];
    DWORD length = INTERNET_MAX_URL_LENGTH;
    if (location.empty() ||
        !InternetCombineUrlW(current.c_str(), location.c_str(), next, &length, 0)) {
      traceLine(kHttpsTag, L"redirect without a usable Location: " + current);
      return kHttpsFailed;
    }
    current.assign(next, length);
  }
}

// The body into the new file, as it arrives, within the bounds and exactly `length` bytes.
int readBody(HINTERNET request, Body& file, std::uint64_t length, TransferWatch& watch,
             const std::wstring& url) {
  std::vector<unsigned char> chunk(64 * 1024);
  std::uint64_t total = 0;
  for (;;) {
    if (watch.expired()) return boundReached(L"time", url);
    // Waits for what has arrived, not for a full chunk: a slow body is seen as it comes.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0))
      return watch.expired() ? boundReached(L"time", url)
                             : internetFailure(L"InternetQueryDataAvailable");
    if (available == 0) break;
    DWORD read = 0;
    const DWORD want = available < chunk.size() ? available : static_cast<DWORD>(chunk.size());
    if (!InternetReadFile(request, chunk.data(), want, &read))
      return internetFailure(L"InternetReadFile");
    if (read == 0) break;
    total += read;
    if (total > length) break;  // longer than announced: refused below
    if (!file.write(chunk.data(), read)) {
      t_lastFailure = {traceFailure(kHttpsTag, L"WriteFile " + url), false};
      return kWriteFailed;
    }
    watch.progressed(total);
  }
  if (total != length) {
    traceLine(kHttpsTag, L"download " + url + L" failed: " + std::to_wstring(total) + L" of " +
                             std::to_wstring(length) + L" bytes");
    return kHttpsFailed;
  }
  return kHttpsOk;
}

// The announced length; none (a body that ends only with the connection, or in chunks) means
// a short body could not be told from a whole one.
bool announcedLength(HINTERNET request, std::uint64_t& length) {
  const std::wstring text = queryText(request, HTTP_QUERY_CONTENT_LENGTH);
  if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
  length = std::wcstoull(text.c_str(), nullptr, 10);
  return true;
}

std::optional<std::int64_t> serverDate(HINTERNET request) {
  SYSTEMTIME date = {};
  DWORD size = sizeof(date);
  FILETIME file = {};
  if (!HttpQueryInfoW(request, HTTP_QUERY_DATE | HTTP_QUERY_FLAG_SYSTEMTIME, &date, &size,
                      nullptr) ||
      !SystemTimeToFileTime(&date, &file))
    return std::nullopt;
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
  constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ULL;  // 1970 in 100 ns since 1601
  return static_cast<std::int64_t>((ticks - kUnixEpochTicks) / 10000000ULL);
}

// The client's set-up: a session with the system's proxy settings and the bounds' time-outs.
ScopedInternet openSession(const DownloadBounds& bounds) {
  const std::wstring agent = std::wstring(kProductId) + L"Update";
  ScopedInternet session(
      InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (session) applyTimeouts(session.get(), bounds);
  return session;
}

// The final answer counts only with status 200 and an announced length within the size cap.
int acceptedLength(HINTERNET request, DWORD status, const TransferWatch& watch,
                   std::uint64_t maxLength, const std::wstring& url, std::uint64_t& length) {
  t_serverDate = serverDate(request);
  if (status != HTTP_STATUS_OK) {
    t_lastFailure = {status, true};
    traceLine(kHttpsTag, L"status " + std::to_wstring(status) + L" for " + url);
    return kHttpsFailed;
  }
  if (!announcedLength(request, length)) {
    traceLine(kHttpsTag, L"no Content-Length: " + url);
    return kHttpsFailed;
  }
  if (watch.tooLarge(length)) return boundReached(L"size cap", url);
  if (maxLength && length > maxLength) {
    t_lastFailure = {0, false, true};
    return boundReached(L"the caller's length", url);
  }
  return kHttpsOk;
}

// The body into the target, kept only when whole.
int receiveBody(HINTERNET request, Body& file, std::uint64_t length, TransferWatch& watch,
                const std::wstring& url) {
  const int body = readBody(request, file, length, watch, url);
  if (body == kHttpsOk) file.keep();
  return body;
}

// One attempt: a GET of `url` through WinINet, within the watch's bounds, its body into
// `localPath`, created new and kept only when whole. The name says HTTPS; plain HTTP takes the
// same client.
int DownloadFile_Https(const std::wstring& url, Body& file, std::uint64_t maxLength,
                       std::uint64_t* byteCount, TransferWatch& watch) {
  const ScopedInternet session = openSession(watch.bounds());
  if (!session) return internetFailure(L"InternetOpen");

  Exchange exchange;
  RequestSlot slot;  // closed before the connection and the session
  if (!watch.watch([&slot] { slot.abort(); })) return kHttpsFailed;
  struct StopWatchFirst {  // the watch ends before the slot it may abort
    TransferWatch& watch;
    ~StopWatchFirst() { watch.stop(); }
  } stopWatchFirst{watch};
  int result = exchangeFollowingRedirects(session.get(), url, slot, exchange, watch);
  std::uint64_t length = 0;
  if (result == kHttpsOk)
    result = acceptedLength(slot.get(), exchange.status, watch, maxLength, url, length);
  if (result == kHttpsOk) result = receiveBody(slot.get(), file, length, watch, url);
  if (result == kHttpsOk && byteCount) *byteCount = length;
  return result;
}

bool makeTargetFolder(const std::wstring& localPath) {
  const std::wstring folder = targetFolderOf(localPath);
  if (folder.empty() || pathExists(folder)) return true;
  const int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS)
    return true;
  SetLastError(static_cast<DWORD>(made));
  traceFailure(kDownloadTag, L"SHCreateDirectoryEx " + folder);
  return false;
}

DownloadControl failedControl(DownloadControl control, FailureCode failure, bool local) {
  control.localFailure = local;
  control.failureCode = failure.code;
  control.httpStatus = failure.httpStatus;
  control.lengthExceeded = failure.lengthExceeded;
  control.serverDate = t_serverDate;
  return control;
}

// Up to retries + 1 attempts of one download, each into a fresh body from `newBody`, which the
// caller owns (null: a local failure); the byte count, 0 for failure (the control says why).
std::uint64_t downloadAttempts(const std::wstring& url, unsigned retries, DownloadControl* control,
                               const std::function<Body*()>& newBody) {
  t_lastFailure = {};
  t_serverDate.reset();
  const DownloadBounds bounds = downloadBounds();
  const unsigned long long started = GetTickCount64();
  std::function<bool()> cancelled;
  std::uint64_t maxLength = 0;
  if (control) {
    cancelled = control->cancelled;
    maxLength = control->maxLength;
  }
  bool local = false;
  for (unsigned long long attempt = 0; attempt <= retries; ++attempt) {
    DeleteUrlCacheEntryW(url.c_str());  // a missing entry is no error
    TransferWatch watch(bounds, started, cancelled);
    if (watch.expired()) break;  // the file's deadline covers all its attempts, or cancelled
    // Made before the request: a target that cannot be written fails at once, before a byte
    // crosses the network.
    Body* const body = newBody();
    if (!body) {
      t_lastFailure = {GetLastError(), false};
      local = true;
      break;  // another attempt would meet the same folder
    }
    std::uint64_t byteCount = 0;
    const int result = DownloadFile_Https(url, *body, maxLength, &byteCount, watch);
    if (result == kHttpsOk) {
      if (control) control->serverDate = t_serverDate;
      return byteCount;
    }
    if (result == kWriteFailed) {
      local = true;
      break;
    }
    if (t_lastFailure.lengthExceeded) break;  // the same answer again would be as long
  }
  if (control) *control = failedControl(*control, t_lastFailure, local);
  traceLine(kDownloadTag, L"DownloadOneFile failed: " + url);
  return 0;
}

}  // namespace

namespace seams {

const DownloadBounds* exchangeBounds(const DownloadBounds* bounds) {
  std::lock_guard<std::mutex> guard(g_boundsLock);
  const DownloadBounds* replaced = g_bounds;
  g_bounds = bounds;
  return replaced;
}

unsigned long exchangeHttpsTimeout(unsigned long milliseconds) {
  return g_httpsTimeout.exchange(milliseconds);
}

}  // namespace seams

std::uint64_t DownloadOneFile(const std::wstring& url, const std::wstring& localPath,
                              unsigned retries, DownloadControl* control) {
  if (!makeTargetFolder(localPath)) {
    if (control) *control = failedControl(*control, {GetLastError(), false}, true);
    return 0;
  }
  std::unique_ptr<NewFile> file;
  return downloadAttempts(url, retries, control, [&]() -> Body* {
    file.reset();  // a cut body of the attempt before is deleted before its name is made again
    file = std::make_unique<NewFile>(localPath);
    return file->isOpen() ? file.get() : nullptr;
  });
}

std::optional<std::string> DownloadToMemory(const std::wstring& url, unsigned retries,
                                            DownloadControl* control) {
  MemoryBody body;
  if (downloadAttempts(url, retries, control, [&]() -> Body* {
        body = MemoryBody();
        return &body;
      }) == 0)
    return std::nullopt;
  return body.take();
}

bool downloadListedFile(const std::wstring& baseUrl, const FileManifest& manifest,
                        const std::wstring& fileName, const std::wstring& localSubfolder,
                        const std::wstring& remoteSubfolder, DownloadControl* control) {
  const ListedFileLocation where =
      listedFileLocation(baseUrl, manifest.directory(), fileName, localSubfolder, remoteSubfolder);
  return DownloadOneFile(where.url, where.localPath, 3, control) != 0;
}

}  // namespace orv::updater
