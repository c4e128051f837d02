#pragma once
// The plain-HTTP half of the downloader: one fetch through the URL moniker service with a bind
// status callback that holds the download to its bounds.
#include <cstdint>
#include <string>
#include <vector>

#include "transfer_watch.h"

namespace orv {

struct MonikerFetch {
  bool completed = false;          // the service reported success and no bound was hit
  std::uint64_t expectedBytes = 0;  // the length the service announced; 0 when it gave none
  std::vector<std::wstring> urls;  // the URL and every URL it was redirected to
};

// Fetches `url` into `path` with URLDownloadToFileW; the watch ends it (E_ABORT) past the
// deadline, without progress, past the size cap or past the redirect cap.
MonikerFetch fetchByUrlMoniker(const std::wstring& url, const std::wstring& path,
                               TransferWatch& watch);

}  // namespace orv
