// DownloadOneFile against a misbehaving server, over HTTP and HTTPS (one WinINet client),
// within short bounds for the test's scope: every case ends with a failure, leaves neither
// the target nor its part file, and leaves nothing in the internet cache.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "downloader.h"
#include "loopback.h"
#include "scoped_download_overrides.h"
#include "test_files.h"

namespace orv::updater {
namespace {

bool inUrlCache(const std::wstring& url) {
  DWORD size = 0;
  GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size);
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

TEST(HostileServer, EveryDownloadEndsWithinItsBoundsAsAFailure) {
  DownloadBounds bounds;
  bounds.deadlineMs = 4000;
  bounds.idleMs = 2000;
  bounds.maxRedirects = 5;
  bounds.maxBytes = 1 << 20;
  const test::ScopedDownloadBoundsForTesting shortBounds(bounds);
  const struct Case {
    const char* path;
    const char* bound;  // what ends it
  } cases[] = {
      {"drip/", "the deadline (a byte every half second)"},
      {"hang/", "the time without progress"},
      {"endless/", "no announced length"},
      {"redirect/0/", "the redirect cap"},
      {"reset/", "the short body"},
      {"badchunk/", "the malformed body"},
  };
  test::TempDir dir;
  for (const char* scheme : {"http", "selfsigned"}) {
    for (const Case& c : cases) {
      const std::string name = std::string(c.path) + scheme;
      SCOPED_TRACE(name + ": " + c.bound);
      const std::wstring url = test::serverBase(scheme) + std::wstring(name.begin(), name.end());
      std::string file = name + ".bin";  // one of its own per case
      std::replace(file.begin(), file.end(), '/', '-');
      const std::filesystem::path local = dir / file;
      EXPECT_EQ(DownloadOneFile(url, local.wstring(), 0), 0u);
      EXPECT_FALSE(test::fileThere(local));
      EXPECT_FALSE(test::fileThere(local.wstring() + L".part"));
      EXPECT_FALSE(inUrlCache(url));
    }
    // Within the bounds a file still comes, and leaves no copy in the cache.
    const std::wstring whole = test::serverBase(scheme) + L"data/300000/whole";
    EXPECT_EQ(DownloadOneFile(whole, (dir / scheme).wstring(), 0), 300000u);
    EXPECT_FALSE(inUrlCache(whole));
  }
  // The client's own loop was followed five times, then given up.
  for (const char* scheme : {"http", "selfsigned"}) {
    EXPECT_EQ(test::requestCount(std::string("/redirect/5/") + scheme), 1);
    EXPECT_EQ(test::requestCount(std::string("/redirect/6/") + scheme), 0);
  }
}

}  // namespace
}  // namespace orv::updater
