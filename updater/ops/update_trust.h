#pragma once
// An attempt's trust in what it fetches, through The Update Framework: the trusted metadata is
// refreshed from the update server's repository (trust_rules.h says where) before anything else
// is asked of the server, and every file is then fetched as the target it is, no longer than its
// metadata allows and checked by its length and hashes. There is no way round it: a server
// without the repository, or with one that fails a check, gives nothing to install.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "admin_folder.h"
#include "attempt_failure.h"
#include "downloader.h"
#include "trust_rules.h"
#include "updater.h"

namespace orv::updater {

class TrustStore;
class WinInetFetcher;

class UpdateTrust {
 public:
  // `cancelled` ends a fetch (the program is closing).
  UpdateTrust(std::wstring baseUrl, std::function<bool()> cancelled);
  ~UpdateTrust();
  UpdateTrust(const UpdateTrust&) = delete;
  UpdateTrust& operator=(const UpdateTrust&) = delete;

  // Opens the trusted state below the installed folder (its first root the program's own, or a
  // newer one the program brings) and refreshes it at this computer's current time.
  StepResult refresh(const std::wstring& installedFolder, FolderOwners owners);

  // After a refresh: the target into `localPath` (created new, kept only when whole, within the
  // target's length), then checked against its metadata; `bytes` is its size. `url` is where it
  // was fetched from, for the attempt's report. A target that did not come fails for
  // `notFetched` (ServerUnreachable becomes ServerRefused when the server answered).
  StepResult fetch(const std::string& targetPath, const std::wstring& localPath,
                   std::uint64_t& bytes, std::wstring& url,
                   FailureReason notFetched = FailureReason::FileUnreachable);

 private:
  AttemptFailure failureOf(const tuf::Status& status) const;

  std::wstring baseUrl_;
  std::function<bool()> cancelled_;
  std::unique_ptr<TrustStore> store_;
  std::unique_ptr<WinInetFetcher> fetcher_;
  std::unique_ptr<tuf::Updater> client_;
  TrustContext context_;
};

}  // namespace orv::updater
