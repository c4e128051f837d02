#pragma once
// The update flow's decisions and texts: what counts as newer, when the updater replaces itself,
// the retry limit, the page's JSON notifications and size texts, and which listed files a
// download pass fetches where. Pure logic (no Windows headers).
#include <cstdint>
#include <string>
#include <vector>

#include "file_manifest.h"
#include "version_number.h"

namespace orv::updater {

// The fixed path of the update server's folder; the host is chosen at build time.
extern const wchar_t kUpdateServerPath[];  // "/delmora/resource/cms/article/sub292628/sub305867/"
// "http://" + host + the fixed path (ends with a slash).
std::wstring updateBaseUrlFor(const std::wstring& host);

// The parent of the attempts' work folders (work_folder.h): the installed folder + "\" +
// kWorkParentName, where only administrators may write.
std::wstring workParentOf(const std::wstring& installedFolder);

// Inside one attempt's work folder, each kind of file in a folder of its own, so that no name is
// ever written twice: the server query's manifest, the manifest to install, the listed files
// under their manifest paths, and the hand-over's new updater.
struct WorkLayout {
  std::wstring queryFolder;     // work folder + "\query"
  std::wstring manifestFolder;  // work folder + "\manifest"
  std::wstring filesFolder;     // work folder + "\files"
  std::wstring loaderFolder;    // work folder + "\loader"
  // work folder + ".retired": where a hand-over moves the running updater's file, a name of its
  // own below the work folders' parent, which only administrators can write (the next attempt
  // removes it with the other leftovers).
  std::wstring retiredUpdater;
};
WorkLayout workLayoutOf(const std::wstring& workFolder);

// The verified server version is newer when it orders above the installed one (major, minor,
// build, revision, each a signed number).
bool serverVersionIsNewer(const VersionNumber& server, const VersionNumber& installed);
// A verified server version below the installed one: never installed, not even as a repair.
bool serverVersionIsRollback(const VersionNumber& server, const VersionNumber& installed);

// The updater replaces itself when the run is not already the new loader and the server's minor
// number is above its own, both read as unsigned numbers; the other numbers play no part.
bool loaderNeedsReplacing(bool newLoaderRun, const VersionNumber& server, const VersionNumber& own);

// RetryTimes passes from 0 to 3; 4 and more (unsigned), and -1 (missing or not a DWORD), fail.
bool retryTimesPasses(std::int32_t retryTimes);

// The page's JSON texts are built from the wide texts (through UTF-8, where no byte of a
// character can pass for a quote or a backslash) and handed over as wide text, so every name a
// manifest can hold stays one valid JSON string whatever the ANSI code page.
// The compact JSON of "InitUpdate": {"downloadCount":N,"progressWidth":W,"removeCount":R} + LF.
std::wstring initUpdateText(int downloadCount, int progressWidth, int removeCount);
// The compact JSON of "ShowDownloadProcess", all four members texts, in name order, + LF.
std::wstring downloadProcessText(int allCount, const std::wstring& fileName,
                                 const std::string& sizeText, int nowPos);

// The size text of a byte count: empty up to 1024, "%0.2lfKb" up to 1 MiB, "%0.2lfM" above.
std::string sizeText(std::uint64_t bytes);

// A fetched file counts only when its digest is the listed one (and the listing has one).
bool fetchedDigestMatches(const std::wstring& fetchedDigest, const std::wstring& listedDigest);

// One file of the download pass.
struct PlannedDownload {
  std::wstring fileName;
  std::wstring url;        // base URL + "/" + path + "/" + file name
  std::wstring localPath;  // files folder + "\" + path + "\" + file name
  std::wstring digest;     // the verified entry's digest
  std::string target;      // the trusted target it is (trust_rules.h's targetPathOf)
  int allCount = 0;        // the download count when this file is fetched
  int nowPos = 0;          // its position among the fetched files, from 1
};

// The download pass over the entries of the verified manifest (loaded from the signed file
// alone), in key order: every entry but the updater's own (isUpdaterEntry) is fetched, whatever
// the installed files say; the last fetched file is the setup program. `safe` is false when the
// listing (`documentOrder`, every File element as read) has faults (listingFaults): the pass then
// fails.
struct DownloadPlan {
  bool safe = true;
  std::vector<PlannedDownload> files;
};
DownloadPlan planDownloads(const FileManifest::Entries& entries,
                           const std::vector<ManifestEntry>& documentOrder,
                           const std::wstring& baseUrl, const std::wstring& filesFolder);

}  // namespace orv::updater
