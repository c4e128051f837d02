#include "update_trust.h"

#include <windows.h>

#include <chrono>
#include <ctime>
#include <vector>

#include "ansi_text.h"
#include "built_in_root.h"
#include "scoped_handle.h"
#include "target_check.h"
#include "trace.h"
#include "trust_store.h"
#include "updater.h"

namespace orv::updater {
namespace {

constexpr wchar_t kTag[] = L"UpdateTrust";
constexpr char kRootFile[] = "root.json";

// HTTP statuses that say the server has no such file; the refresh asks for the next root
// version, which is usually not there, so these are no failure of the server.
bool saysNotThere(const DownloadControl& control) {
  return control.httpStatus && (control.failureCode == 404 || control.failureCode == 403 ||
                                control.failureCode == 410);
}

// Reads the fetched file back through its handle into the target's check.
tuf::Status checkFetchedFile(const std::wstring& path, const tuf::TargetFile& info,
                             const std::string& what) {
  const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return tuf::Status(tuf::Failure::kStorage, what);
  tuf::TargetCheck check(info);
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr))
      return tuf::Status(tuf::Failure::kStorage, what);
    if (read == 0) break;
    if (!check.write(chunk.data(), read)) break;
  }
  return check.finish(what);
}

}  // namespace

// The client's fetches through the updater's own downloader and its bounds, whole in memory.
class WinInetFetcher : public tuf::Fetcher {
 public:
  explicit WinInetFetcher(std::function<bool()> cancelled) : cancelled_(std::move(cancelled)) {}

  tuf::Status fetch(const std::string& url, std::uint64_t maxLength, tuf::ByteSink& sink) override {
    DownloadControl control;
    control.cancelled = cancelled_;
    control.maxLength = maxLength;
    const std::optional<std::string> bytes = DownloadToMemory(fromUtf8(url), 3, &control);
    if (control.serverDate) serverDate_ = control.serverDate;
    if (!bytes) {
      if (control.lengthExceeded) return tuf::Status(tuf::Failure::kLengthExceeded, url);
      lastCode_ = control.failureCode;
      lastAnswered_ = control.httpStatus;
      if (saysNotThere(control)) return tuf::Status(tuf::Failure::kNotFound, url);
      return tuf::Status(tuf::Failure::kUnreachable, url);
    }
    sink.write(bytes->data(), bytes->size());  // a refusal is the client's to report
    return {};
  }

  std::optional<std::int64_t> serverDate() const { return serverDate_; }
  unsigned long lastCode() const { return lastCode_; }
  bool lastAnswered() const { return lastAnswered_; }

 private:
  std::function<bool()> cancelled_;
  std::optional<std::int64_t> serverDate_;
  unsigned long lastCode_ = 0;
  bool lastAnswered_ = false;
};

UpdateTrust::UpdateTrust(std::wstring baseUrl, std::function<bool()> cancelled)
    : baseUrl_(std::move(baseUrl)), cancelled_(std::move(cancelled)) {}

UpdateTrust::~UpdateTrust() = default;

AttemptFailure UpdateTrust::failureOf(const tuf::Status& status) const {
  TrustContext context = context_;
  if (fetcher_) {
    context.serverNow = fetcher_->serverDate();
    context.fetchCode = fetcher_->lastCode();
    context.fetchAnswered = fetcher_->lastAnswered();
  }
  return trustFailure(status, context);
}

StepResult UpdateTrust::refresh(const std::wstring& installedFolder, FolderOwners owners) {
  store_ = TrustStore::open(installedFolder, owners);
  if (!store_)
    return AttemptFailure{FailureReason::TrustStateFailed, GetLastError(),
                          trustFolderOf(installedFolder)};
  // The program's own root when nothing newer was stored: a newer program brings a newer root.
  const std::optional<std::string> stored = store_->read(kRootFile);
  const std::optional<std::int64_t> storedVersion =
      stored ? rootVersionOf(*stored) : std::nullopt;
  const std::optional<std::int64_t> builtInVersion = rootVersionOf(builtInRoot());
  if (!builtInVersion)
    return AttemptFailure{FailureReason::TrustMetadataInvalid, 0, L"the program's own root"};
  if (rootToStartFrom(storedVersion, *builtInVersion) == RootToStartFrom::kBuiltIn &&
      !store_->write(kRootFile, builtInRoot()))
    return AttemptFailure{FailureReason::TrustStateFailed, GetLastError(),
                          trustFolderOf(installedFolder)};

  fetcher_ = std::make_unique<WinInetFetcher>(cancelled_);
  client_ = std::make_unique<tuf::Updater>(*store_, *fetcher_, trustMetadataUrl(baseUrl_));
  const auto now = std::chrono::system_clock::now();
  context_.localNow =
      std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  const tuf::Status status = client_->refresh(now);
  if (status.ok()) return std::nullopt;
  traceLine(kTag, L"refresh: " + fromUtf8(status.text()));
  return failureOf(status);
}

StepResult UpdateTrust::fetch(const std::string& targetPath, const std::wstring& localPath,
                              std::uint64_t& bytes, std::wstring& url,
                              FailureReason notFetched) {
  bytes = 0;
  url = fromUtf8(trustTargetsUrl(baseUrl_) + targetPath);
  if (!client_) return failureOf(tuf::Status(tuf::Failure::kNotRefreshed, targetPath));
  tuf::TargetFile info;
  tuf::Status status = client_->findTarget(targetPath, info);
  if (!status.ok()) return failureOf(status);
  url = fromUtf8(client_->targetUrl(targetPath, info, trustTargetsUrl(baseUrl_)));
  if (url.empty()) return failureOf(tuf::Status(tuf::Failure::kNoKnownHash, targetPath));

  DownloadControl control;
  control.cancelled = cancelled_;
  control.maxLength = static_cast<std::uint64_t>(info.length);
  bytes = DownloadOneFile(url, localPath, 3, &control);
  if (bytes == 0) {
    if (control.localFailure)
      return AttemptFailure{FailureReason::LocalWriteFailed, control.failureCode, localPath};
    if (control.lengthExceeded)
      return failureOf(tuf::Status(tuf::Failure::kLengthExceeded, targetPath));
    if (notFetched == FailureReason::ServerUnreachable && control.httpStatus)
      notFetched = FailureReason::ServerRefused;
    return AttemptFailure{notFetched, control.failureCode, url};
  }
  status = checkFetchedFile(localPath, info, targetPath);
  if (status.failure() == tuf::Failure::kStorage)
    return AttemptFailure{FailureReason::LocalWriteFailed, GetLastError(), localPath};
  if (!status.ok()) return failureOf(status);
  return std::nullopt;
}

}  // namespace orv::updater
