// DownloadOneFile, DownloadFile_Https and downloadListedFile against the loopback server, under
// Wine. Each test names its requests after itself, so the server's request counts are its own.
// Plain HTTP and HTTPS go through the same client and behave alike.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "downloader.h"
#include "file_manifest.h"
#include "loopback.h"
#include "test_files.h"

namespace orv::updater {
namespace {

using test::fileThere;
using test::patternBytes;
using test::readFile;
using test::requestCount;
using test::serverBase;
using test::TempDir;

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

class DownloaderTest : public ::testing::Test {
 protected:
  void TearDown() override { setHttpsTimeoutsForTesting(0); }
  TempDir dir;
};

TEST_F(DownloaderTest, PlainHttpFetchesIntoNewFoldersAndCountsBytes) {
  const auto local = dir / "a" / "b" / "c" / "file.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("http") + L"data/70000/plain-fetch", local.wstring(), 3),
            70000u);
  EXPECT_EQ(readFile(local), patternBytes(70000));
  EXPECT_EQ(requestCount("/data/70000/plain-fetch"), 1);
}

TEST_F(DownloaderTest, HttpsDownloadsDespiteSelfSignedExpiredAndWrongNameCertificates) {
  for (const char* which : {"selfsigned", "expired", "wrongname"}) {
    SCOPED_TRACE(which);
    const std::string path = std::string("/data/200000/cert-") + which;
    const auto local = dir / (std::string(which) + ".bin");
    EXPECT_EQ(DownloadOneFile(serverBase(which) + wide(path.substr(1)), local.wstring(), 3),
              200000u);
    EXPECT_EQ(readFile(local), patternBytes(200000));
    EXPECT_EQ(requestCount(path), 1) << "accepted on the first attempt";
    EXPECT_FALSE(fileThere(local.wstring() + L".part"));
  }
}

TEST_F(DownloaderTest, HttpsNotFoundMakesFourAttemptsAndWritesNothing) {
  const auto local = dir / "missing.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("selfsigned") + L"status/404/https-404", local.wstring(), 3),
            0u);
  EXPECT_EQ(requestCount("/status/404/https-404"), 4);
  EXPECT_FALSE(fileThere(local));
  EXPECT_EQ(DownloadFile_Https(serverBase("selfsigned") + L"status/500/https-500", local.wstring(),
                               nullptr),
            kHttpsFailed);
}

// An error status is no file, with an error page as its body or without.
TEST_F(DownloaderTest, PlainHttpNotFoundFailsEveryAttempt) {
  const auto local = dir / "missing.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("http") + L"status/404/plain-404", local.wstring(), 3), 0u);
  EXPECT_EQ(requestCount("/status/404/plain-404"), 4);
  const auto page = dir / "page.bin";
  EXPECT_EQ(
      DownloadOneFile(serverBase("http") + L"statusbody/404/plain-404-page", page.wstring(), 0),
      0u);
  EXPECT_FALSE(fileThere(local));
  EXPECT_FALSE(fileThere(page));
}

TEST_F(DownloaderTest, HttpsBodyWithoutLengthFailsEveryAttempt) {
  const auto local = dir / "nolength.bin";
  EXPECT_EQ(
      DownloadOneFile(serverBase("selfsigned") + L"nolength/https-nolength", local.wstring(), 3),
      0u);
  EXPECT_EQ(requestCount("/nolength/https-nolength"), 4);
  EXPECT_FALSE(fileThere(local));
  EXPECT_FALSE(fileThere(local.wstring() + L".part"));
}

// Without a length a cut body cannot be told from a whole one: nothing is written.
TEST_F(DownloaderTest, HttpsEmptyBodyWithoutLengthWritesNothing) {
  const auto local = dir / "empty.bin";
  EXPECT_EQ(
      DownloadOneFile(serverBase("selfsigned") + L"emptynolength/https-empty", local.wstring(), 3),
      0u);
  EXPECT_EQ(requestCount("/emptynolength/https-empty"), 4);
  EXPECT_FALSE(fileThere(local));
}

TEST_F(DownloaderTest, HttpsShortBodyLeavesNothing) {
  const auto local = dir / "short.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("selfsigned") + L"short/https-short", local.wstring(), 1),
            0u);
  EXPECT_EQ(requestCount("/short/https-short"), 2);
  EXPECT_FALSE(fileThere(local));
}

// Zero bytes fail the same way on both platforms: the file is fetched, the count is 0.
TEST_F(DownloaderTest, ZeroByteFileIsFetchedButCountsAsFailure) {
  const auto plain = dir / "zero-plain.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("http") + L"zero/plain-zero", plain.wstring(), 3), 0u);
  EXPECT_EQ(requestCount("/zero/plain-zero"), 1);
  ASSERT_TRUE(fileThere(plain));
  EXPECT_EQ(std::filesystem::file_size(plain), 0u);

  const auto secure = dir / "zero-https.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("selfsigned") + L"zero/https-zero", secure.wstring(), 3),
            0u);
  EXPECT_EQ(requestCount("/zero/https-zero"), 1);
  EXPECT_TRUE(fileThere(secure));
}

TEST_F(DownloaderTest, FolderThatCannotBeCreatedGivesZeroWithoutRequest) {
  test::writeFile(dir / "blocker", "a file where a folder should be");
  const auto local = dir / "blocker" / "sub" / "file.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("http") + L"data/10/no-folder", local.wstring(), 3), 0u);
  EXPECT_EQ(
      DownloadOneFile(serverBase("selfsigned") + L"data/10/no-folder-https", local.wstring(), 3),
      0u);

  // A drive that does not exist.
  const DWORD drives = GetLogicalDrives();
  for (int d = 25; d >= 3; --d) {
    if (drives & (1u << d)) continue;
    const std::wstring missing =
        std::wstring(1, static_cast<wchar_t>(L'A' + d)) + L":\\orv\\file.bin";
    EXPECT_EQ(DownloadOneFile(serverBase("http") + L"data/10/no-drive", missing, 3), 0u);
    break;
  }
  EXPECT_EQ(requestCount("/data/10/no-folder"), 0);
  EXPECT_EQ(requestCount("/data/10/no-folder-https"), 0);
  EXPECT_EQ(requestCount("/data/10/no-drive"), 0);
}

// The first request is dropped without an answer: that attempt fails and the second brings the
// file.
TEST_F(DownloaderTest, FailedFirstAttemptIsFollowedByASecond) {
  const auto plain = dir / "flaky-plain.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("http") + L"flaky/plain-flaky", plain.wstring(), 3), 100u);
  EXPECT_GE(requestCount("/flaky/plain-flaky"), 2);
  EXPECT_EQ(readFile(plain), patternBytes(100));

  const auto secure = dir / "flaky-https.bin";
  EXPECT_EQ(DownloadOneFile(serverBase("selfsigned") + L"flaky/https-flaky", secure.wstring(), 3),
            100u);
  EXPECT_GE(requestCount("/flaky/https-flaky"), 2);
  EXPECT_EQ(readFile(secure), patternBytes(100));

  // With no retries the single failed attempt is the answer.
  EXPECT_EQ(DownloadOneFile(serverBase("selfsigned") + L"flaky/https-flaky-once",
                            (dir / "once.bin").wstring(), 0),
            0u);
  EXPECT_EQ(requestCount("/flaky/https-flaky-once"), 1);
}

// The platform's default time-outs are far longer than a test may wait, so the test shortens
// them through the client's test seam.
TEST_F(DownloaderTest, TimeOutOnFirstAttemptThenSuccess) {
  setHttpsTimeoutsForTesting(1500);
  const auto local = dir / "stall.bin";
  // The client's own result for a time-out is 2 (ERROR_INTERNET_TIMEOUT) on Windows; Wine 8
  // reports a receive time-out as an aborted connection (12030), an ordinary failure. Either way
  // the attempt fails and DownloadOneFile goes on with the next.
  EXPECT_EQ(DownloadFile_Https(serverBase("selfsigned") + L"stall/5000/https-stall-alone",
                               local.wstring(), nullptr),
            test::underWine() ? kHttpsFailed : kHttpsTimeout);
  EXPECT_FALSE(fileThere(local));
  EXPECT_EQ(
      DownloadOneFile(serverBase("selfsigned") + L"stall/5000/https-stall", local.wstring(), 3),
      100u);
  EXPECT_EQ(requestCount("/stall/5000/https-stall"), 2) << test::serverLog();
  EXPECT_EQ(readFile(local), patternBytes(100));
}

TEST_F(DownloaderTest, HttpsCountsTheBytesOfAWholeBody) {
  const auto local = dir / "whole.bin";
  std::uint64_t count = 7;
  EXPECT_EQ(DownloadFile_Https(serverBase("selfsigned") + L"data/1000000/https-whole",
                               local.wstring(), &count),
            kHttpsOk);
  EXPECT_EQ(count, 1000000u);
  EXPECT_EQ(readFile(local), patternBytes(1000000));
}

// Whatever stands at the target's name, planted by another program, is never opened, truncated
// or written through: the download fails as a local failure, at once, and the victim stays.
TEST_F(DownloaderTest, NothingPlantedAtTheTargetIsWrittenThrough) {
  const auto victim = dir / "victim.txt";
  test::writeFile(victim, "the victim's bytes");
  const struct {
    const char* what;
    std::function<bool(const std::wstring&)> plant;
  } cases[] = {
      {"a file", [](const std::wstring& at) { return test::writeFile(at, "planted"), true; }},
      {"a hard link",
       [&](const std::wstring& at) {
         return CreateHardLinkW(at.c_str(), victim.wstring().c_str(), nullptr) != FALSE;
       }},
      {"a symbolic link",
       [&](const std::wstring& at) {
         return CreateSymbolicLinkW(at.c_str(), victim.wstring().c_str(), 0) != FALSE;
       }},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* scheme : {"http", "selfsigned"}) {
      const std::wstring local = (dir / ("planted" + std::to_string(++n) + ".bin")).wstring();
      if (!c.plant(local) || !fileThere(local)) {
        std::printf("[ NOTE     ] %s: the system made none here\n", c.what);
        continue;
      }
      const std::string path = "/data/5000/planted-" + std::to_string(n);
      DownloadControl control;
      EXPECT_EQ(DownloadOneFile(serverBase(scheme) + wide(path.substr(1)), local, 3, &control), 0u);
      EXPECT_TRUE(control.localFailure);
      EXPECT_EQ(requestCount(path), 0) << "the target is made before any request";
      EXPECT_EQ(readFile(victim), "the victim's bytes");
    }
  }
}

// A cancelled download ends at once with nothing written, however slowly the server answers.
TEST_F(DownloaderTest, ACancelledDownloadEndsAndLeavesNothing) {
  for (const char* scheme : {"http", "selfsigned"}) {
    SCOPED_TRACE(scheme);
    const auto local = dir / (std::string("cancelled-") + scheme + ".bin");
    const ULONGLONG cancelAt = GetTickCount64() + 1500;
    DownloadControl control;
    control.cancelled = [&] { return GetTickCount64() >= cancelAt; };
    EXPECT_EQ(DownloadOneFile(serverBase(scheme) + L"drip/cancelled-" + wide(scheme),
                              local.wstring(), 3, &control),
              0u);
    EXPECT_LT(GetTickCount64() - cancelAt, 5000u) << "ended soon after the cancel";
    EXPECT_EQ(requestCount(std::string("/drip/cancelled-") + scheme), 1);
    EXPECT_FALSE(fileThere(local));
    EXPECT_FALSE(control.localFailure);
  }
}

TEST_F(DownloaderTest, ListedFilesKeepTheDoubleSlashesOfEmptySubfolders) {
  test::writeFile(test::servedFolder() / "listed" / "Digest.xml", "<manifest/>");
  test::writeFile(test::servedFolder() / "listed" / "pkg" / "setup.exe", "setup bytes");
  FileManifest manifest(serverBase("http") + L"files/listed/", dir.wpath());

  EXPECT_TRUE(downloadListedFile(manifest, L"Digest.xml", L"", L""));
  EXPECT_EQ(requestCount("/files/listed///Digest.xml"), 1);
  EXPECT_EQ(readFile(dir.wpath() + L"\\\\Digest.xml"), "<manifest/>");

  EXPECT_TRUE(downloadListedFile(manifest, L"setup.exe", L"bin\\x", L"pkg"));
  EXPECT_EQ(requestCount("/files/listed//pkg/setup.exe"), 1);
  EXPECT_EQ(readFile(dir / "bin" / "x" / "setup.exe"), "setup bytes");

  FileManifest secure(serverBase("selfsigned") + L"files/listed/", dir.wpath() + L"\\s");
  EXPECT_TRUE(downloadListedFile(secure, L"Digest.xml", L"", L""));
  EXPECT_EQ(requestCount("/files/listed///Digest.xml"), 2);

  EXPECT_FALSE(downloadListedFile(secure, L"absent.xml", L"", L""));
}

}  // namespace
}  // namespace orv::updater
