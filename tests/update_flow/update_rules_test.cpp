// The update flow's decisions and texts: versions, the loader check, the retry limit, the page's
// JSON and size texts and the download pass's plan.
#include <gtest/gtest.h>

#include "product.h"
#include "download_bounds.h"
#include "update_rules.h"

namespace orv::updater {
namespace {

VersionNumber v(const wchar_t* text) { return VersionNumber::parse(text); }

TEST(VersionDecision, ComparesNumbersNotText) {
  EXPECT_TRUE(serverVersionIsNewer(v(L"1.1.19.1224"), v(L"1.1.19.1223")));
  EXPECT_FALSE(serverVersionIsNewer(v(L"1.2.0.0"), v(L"1.10.0.0")));
  EXPECT_TRUE(serverVersionIsNewer(v(L"1.10.0.0"), v(L"1.2.0.0")));
  EXPECT_FALSE(serverVersionIsNewer(v(L"1.1.19.1223"), v(L"1.1.19.1223")));
  // Signed numbers: a negative part orders below zero.
  EXPECT_FALSE(serverVersionIsNewer(v(L"1.-1.0.0"), v(L"1.0.0.0")));
}

TEST(VersionDecision, RollbackIsALowerVersionOnly) {
  EXPECT_TRUE(serverVersionIsRollback(v(L"1.1.19.1222"), v(L"1.1.19.1223")));
  EXPECT_FALSE(serverVersionIsRollback(v(L"1.1.19.1223"), v(L"1.1.19.1223")));
  EXPECT_FALSE(serverVersionIsRollback(v(L"1.1.19.1224"), v(L"1.1.19.1223")));
}

TEST(LoaderCheck, OnlyTheMinorNumberCountsUnsigned) {
  const VersionNumber own = v(L"1.1.19.1223");
  EXPECT_TRUE(loaderNeedsReplacing(false, v(L"1.2.0.0"), own));
  EXPECT_FALSE(loaderNeedsReplacing(false, v(L"2.1.0.0"), own));
  EXPECT_FALSE(loaderNeedsReplacing(false, v(L"1.1.99.99999"), own));
  EXPECT_FALSE(loaderNeedsReplacing(true, v(L"1.2.0.0"), own)) << "the new loader never replaces";
  EXPECT_TRUE(loaderNeedsReplacing(false, v(L"1.-1.0.0"), own)) << "-1 reads as 4294967295";
  EXPECT_TRUE(loaderNeedsReplacing(false, v(L"1.2.0.0"), VersionNumber::parse(L"")));
}

TEST(RetryTimes, ZeroToThreePass) {
  for (int n : {0, 1, 2, 3}) EXPECT_TRUE(retryTimesPasses(n)) << n;
  for (int n : {4, 5, 1000, -1, -2}) EXPECT_FALSE(retryTimesPasses(n)) << n;
}

TEST(PageTexts, InitUpdateIsCompactInNameOrderWithALineFeed) {
  EXPECT_EQ(initUpdateText(0, 650, 0),
            L"{\"downloadCount\":0,\"progressWidth\":650,\"removeCount\":0}\n");
  EXPECT_EQ(initUpdateText(3, 650, 1),
            L"{\"downloadCount\":3,\"progressWidth\":650,\"removeCount\":1}\n");
}

TEST(PageTexts, DownloadProcessHoldsTextsAndKeepsNamesWhole) {
  EXPECT_EQ(downloadProcessText(3, L"setup.exe", "2.00Kb", 1),
            L"{\"allcount\":\"3\",\"filename\":\"setup.exe\",\"filesize\":\"2.00Kb\",\"nowpos\":"
            L"\"1\"}\n");
  // A Chinese name passes through as its characters, not escaped.
  const std::wstring text = downloadProcessText(1, L"\u66F4\u65B0.exe", "", 1);
  EXPECT_NE(text.find(L"\"filename\":\"\u66F4\u65B0.exe\""), std::wstring::npos);
  EXPECT_NE(text.find(L"\"filesize\":\"\""), std::wstring::npos);
  // Quotes and backslashes are escaped.
  EXPECT_NE(downloadProcessText(1, L"a\"b\\c", "", 1).find(L"a\\\"b\\\\c"), std::wstring::npos);
}

TEST(SizeText, BoundariesAndUnits) {
  EXPECT_EQ(sizeText(0), "");
  EXPECT_EQ(sizeText(1024), "");
  EXPECT_EQ(sizeText(1025), "1.00Kb");
  EXPECT_EQ(sizeText(2048), "2.00Kb");
  EXPECT_EQ(sizeText(1536), "1.50Kb");
  EXPECT_EQ(sizeText(1048576), "1024.00Kb");
  EXPECT_EQ(sizeText(1048577), "1.00M");
  EXPECT_EQ(sizeText(3145728), "3.00M");
  EXPECT_EQ(sizeText(0xFFFFFFFFu), "4096.00M");
  EXPECT_EQ(sizeText(5ull << 30), "5120.00M") << "byte counts past 4 GiB";
}

TEST(Names, BaseUrl) {
  EXPECT_EQ(updateBaseUrlFor(L"127.0.0.1:8080"),
            L"http://127.0.0.1:8080/delmora/resource/cms/article/sub292628/sub305867/");
}

// The progress time may be recorded after the clock was read: no wrap-around, no end.
TEST(TransferBounds, EndAtTheDeadlineOrWithoutProgressNeverBeforeTheirTime) {
  DownloadBounds bounds;
  bounds.deadlineMs = 1000;
  bounds.idleMs = 100;
  const struct {
    unsigned long long started, lastProgress, now;
    bool expired;
  } cases[] = {
      {0, 0, 99, false},    {0, 0, 100, true},    {0, 950, 1000, true},
      {0, 950, 999, false}, {0, 500, 499, false}, {500, 500, 400, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(boundsExpired(bounds, c.started, c.lastProgress, c.now), c.expired)
        << c.started << " " << c.lastProgress << " " << c.now;
}

ManifestEntry entry(const wchar_t* path, const wchar_t* name, const wchar_t* version = L"1.0.0.0",
                    const wchar_t* digest = L"d") {
  ManifestEntry e;
  e.path = path;
  e.fileName = name;
  e.version = VersionNumber::parse(version);
  e.digest = digest;
  return e;
}

FileManifest::Entries mapOf(const std::vector<ManifestEntry>& list) {
  FileManifest::Entries m;
  for (const auto& e : list) m.emplace(e.key(), e);
  return m;
}

TEST(DigestCheck, EqualAndListed) {
  EXPECT_TRUE(fetchedDigestMatches(L"abc=", L"abc="));
  EXPECT_FALSE(fetchedDigestMatches(L"abc=", L"abd="));
  EXPECT_FALSE(fetchedDigestMatches(L"", L"")) << "an entry without a digest never counts";
  EXPECT_FALSE(fetchedDigestMatches(L"", L"abc="));
}

TEST(PathSafety, AnythingThatLeavesTheFolderFails) {
  EXPECT_TRUE(listedFileIsSafe(L"", L"setup.exe"));
  EXPECT_TRUE(listedFileIsSafe(L"bin\\x", L"a.dll"));
  EXPECT_TRUE(listedFileIsSafe(L"a..b", L"c..d"));
  EXPECT_FALSE(listedFileIsSafe(L"..", L"a.dll"));
  EXPECT_FALSE(listedFileIsSafe(L"bin\\..\\..", L"a.dll"));
  EXPECT_FALSE(listedFileIsSafe(L"bin/../x", L"a.dll"));
  EXPECT_FALSE(listedFileIsSafe(L"C:\\Windows", L"a.dll"));
  EXPECT_FALSE(listedFileIsSafe(L"\\Windows", L"a.dll"));
  EXPECT_FALSE(listedFileIsSafe(L"/x", L"a.dll"));
  EXPECT_FALSE(listedFileIsSafe(L"bin", L"a.dll:stream"));
  EXPECT_FALSE(listedFileIsSafe(L"bin", L".."));
  EXPECT_FALSE(listedFileIsSafe(L"bin", L"..\\a.dll"));
  EXPECT_FALSE(listedFileIsSafe(L"bin", L""));
  EXPECT_FALSE(listedFileIsSafe(L"bin/x", L"a.dll")) << "only a backslash separates folders";
}

TEST(PathSafety, KeysThatDifferOnlyInCaseNameOneFile) {
  const struct {
    std::vector<ManifestEntry> listed;
    bool twice;
  } cases[] = {
      {{entry(L"Script", L"a.lua"), entry(L"script", L"a.lua")}, true},
      {{entry(L"", L"Setup.EXE"), entry(L"", L"setup.exe")}, true},
      {{entry(L"\u00C9t\u00E9", L"a"), entry(L"\u00E9T\u00C9", L"a")}, true},
      {{entry(L"", L"\u0100.txt"), entry(L"", L"\u0101.TXT")}, true},         // Latin Extended-A
      {{entry(L"", L"\u03C3\u03C2"), entry(L"", L"\u03A3\u03A3")}, true},  // both sigmas
      {{entry(L"", L"\u0561"), entry(L"", L"\u0531")}, true},                // Armenian
      {{entry(L"", L"a.lua"), entry(L"", L"a.lua")}, true},
      {{entry(L"Script", L"a.lua"), entry(L"Script", L"b.lua")}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(listingFaults(c.listed).oneFileTwice, c.twice)
        << std::string(c.listed[1].path.begin(), c.listed[1].path.end());
    const auto entries = mapOf(c.listed);
    EXPECT_EQ(planDownloads(entries, c.listed, L"b/", L"t\\").safe, !c.twice);
  }
}

TEST(DownloadPlan, FetchesEveryEntryInKeyOrderSkippingTheUpdater) {
  auto entries = mapOf({entry(L"", L"setup.exe", L"1.0.0.0", L"S"), entry(L"", kUpdaterFileName),
                        entry(L"bin", L"a.dll", L"1.0.0.0", L"A")});
  const auto plan = planDownloads(entries, {}, L"http://h/base/", L"C:\\T\\");
  ASSERT_TRUE(plan.safe);
  ASSERT_EQ(plan.files.size(), 2u);
  // Key order: "\OrvalinexUpdate.exe" < "\setup.exe" < "bin\a.dll".
  EXPECT_EQ(plan.files[0].fileName, L"setup.exe");
  EXPECT_EQ(plan.files[0].url, L"http://h/base///setup.exe");
  EXPECT_EQ(plan.files[0].localPath, L"C:\\T\\\\\\setup.exe");
  EXPECT_EQ(plan.files[0].digest, L"S");
  EXPECT_EQ(plan.files[1].url, L"http://h/base//bin/a.dll");
  EXPECT_EQ(plan.files[1].localPath, L"C:\\T\\\\bin\\a.dll");
  EXPECT_EQ(plan.files[1].nowPos, 2);
  EXPECT_EQ(plan.files[0].allCount, 2) << "the updater came first and was taken off";
}

TEST(DownloadPlan, CountDropsWhenTheUpdaterComesLater) {
  // Keys: "A\a.dll" < "\<updater>" < "z\<updater>" < "zz\setup.exe"; the updater's name in a
  // folder is an ordinary file.
  const auto entries = mapOf({entry(L"A", L"a.dll"), entry(L"", kUpdaterFileName),
                              entry(L"z", kUpdaterFileName), entry(L"zz", L"setup.exe")});
  const auto plan = planDownloads(entries, {}, L"b/", L"t\\");
  ASSERT_EQ(plan.files.size(), 3u);
  EXPECT_EQ(plan.files[0].allCount, 4);
  EXPECT_EQ(plan.files[1].allCount, 3);
  EXPECT_EQ(plan.files[1].fileName, kUpdaterFileName);
  EXPECT_EQ(plan.files[2].allCount, 3);
  EXPECT_EQ(plan.files.back().fileName, L"setup.exe");
}

TEST(DownloadPlan, AnUnsafeListedFileFailsThePass) {
  const auto entries = mapOf({entry(L"", L"setup.exe")});
  EXPECT_TRUE(planDownloads(entries, {entry(L"", L"setup.exe")}, L"b/", L"t\\").safe);
  EXPECT_FALSE(
      planDownloads(entries, {entry(L"", L"setup.exe"), entry(L"..", L"x.exe")}, L"b/", L"t\\")
          .safe);
  EXPECT_FALSE(planDownloads(entries, {entry(L"", L"")}, L"b/", L"t\\").safe);
}

TEST(DownloadPlan, AnEmptyPathGivesDoubleSeparators) {
  const auto plan = planDownloads(mapOf({entry(L"", L"s.exe")}), {}, L"http://h/p/", L"C:\\T\\");
  ASSERT_EQ(plan.files.size(), 1u);
  EXPECT_EQ(plan.files[0].url,
            L"http://h/p/"
            L"/"
            L"/"
            L"s.exe");
  EXPECT_EQ(plan.files[0].localPath,
            L"C:\\T\\"
            L"\\"
            L"\\"
            L"s.exe");
}

}  // namespace
}  // namespace orv::updater
