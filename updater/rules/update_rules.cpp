#include "update_rules.h"

#include "trust_rules.h"

#include <json/json.h>

#include <cstdio>

#include "ansi_text.h"
#include "file_rules.h"
#include "path_join.h"
#include "product.h"

namespace orv::updater {

const wchar_t kUpdateServerPath[] = L"/delmora/resource/cms/article/sub292628/sub305867/";

std::wstring updateBaseUrlFor(const std::wstring& host) {
  return L"http://" + host + kUpdateServerPath;
}

std::wstring workParentOf(const std::wstring& installedFolder) {
  return joinPath(installedFolder, kWorkParentName);
}

WorkLayout workLayoutOf(const std::wstring& workFolder) {
  return {workFolder + L"\\query", workFolder + L"\\manifest", workFolder + L"\\files",
          workFolder + L"\\loader", workFolder + L".retired"};
}

bool serverVersionIsNewer(const VersionNumber& server, const VersionNumber& installed) {
  return server > installed;
}

bool serverVersionIsRollback(const VersionNumber& server, const VersionNumber& installed) {
  return server < installed;
}

bool loaderNeedsReplacing(bool newLoaderRun, const VersionNumber& server,
                          const VersionNumber& own) {
  if (newLoaderRun) return false;
  return static_cast<std::uint32_t>(server.minor()) > static_cast<std::uint32_t>(own.minor());
}

bool retryTimesPasses(std::int32_t retryTimes) {
  return static_cast<std::uint32_t>(retryTimes) <= 3u;
}

namespace {

// The compact writer's layout: members in name order, no blanks, a closing line feed. The
// values are UTF-8, written as they are and turned into wide text as a whole.
std::wstring compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return fromUtf8(Json::writeString(builder, value) + "\n");
}

}  // namespace

std::wstring initUpdateText(int downloadCount, int progressWidth, int removeCount) {
  Json::Value v(Json::objectValue);
  v["downloadCount"] = downloadCount;
  v["progressWidth"] = progressWidth;
  v["removeCount"] = removeCount;
  return compact(v);
}

std::wstring downloadProcessText(int allCount, const std::wstring& fileName,
                                 const std::string& sizeText, int nowPos) {
  Json::Value v(Json::objectValue);
  v["allcount"] = std::to_string(allCount);
  v["filename"] = toUtf8(fileName);
  v["filesize"] = sizeText;
  v["nowpos"] = std::to_string(nowPos);
  return compact(v);
}

std::string sizeText(std::uint64_t bytes) {
  char text[64] = {};
  if (bytes <= 1024u) return std::string();
  if (bytes <= 1048576u)
    std::snprintf(text, sizeof text, "%0.2lfKb", static_cast<double>(bytes) / 1024.0);
  else
    std::snprintf(text, sizeof text, "%0.2lfM", static_cast<double>(bytes) / 1048576.0);
  return text;
}

bool fetchedDigestMatches(const std::wstring& fetchedDigest, const std::wstring& listedDigest) {
  return !listedDigest.empty() && fetchedDigest == listedDigest;
}

DownloadPlan planDownloads(const FileManifest::Entries& entries,
                           const std::vector<ManifestEntry>& documentOrder,
                           const std::wstring& baseUrl, const std::wstring& filesFolder) {
  DownloadPlan plan;
  plan.safe = listingFaults(documentOrder).none();
  if (!plan.safe) return plan;

  int downloadCount = static_cast<int>(entries.size());
  int nowPos = 0;
  for (const auto& [key, e] : entries) {
    if (isUpdaterEntry(e)) {
      --downloadCount;  // the loader hand-over fetches the updater, never the pass
      continue;
    }
    PlannedDownload d;
    d.fileName = e.fileName;
    ListedFileLocation where = listedFileLocation(baseUrl, filesFolder, e.fileName, e.path, e.path);
    d.url = std::move(where.url);
    d.localPath = std::move(where.localPath);
    d.digest = e.digest;
    d.target = targetPathOf(e.path, e.fileName);
    d.allCount = downloadCount;
    d.nowPos = ++nowPos;
    plan.files.push_back(std::move(d));
  }
  return plan;
}

}  // namespace orv::updater
