#include "server_rules.h"

#include "ansi_text.h"
#include "file_manifest.h"
#include "manifest_writer.h"
#include "narrow_file.h"
#include "product.h"
#include "version_number.h"

namespace orv::manifest_tool {
namespace fs = std::filesystem;

std::vector<std::string> serverFolderProblems(const fs::path& dir,
                                              const ServerFolderExpectation& expected) {
  std::vector<std::string> problems;
  FileManifest manifest(dir.wstring(), expected.publicKeyPem);
  // Only the signed manifest counts, as for the updater: its File elements in document order
  // for the rule of the offered version, its kept entries for everything else.
  std::vector<ManifestEntry> documentOrder;
  if (!manifest.verifyAndLoadSignedOnly(&documentOrder) || manifest.entries().empty()) {
    problems.push_back(
        "Digest.xml is missing, lists no file or is not signed with the key the "
        "programs carry");
    return problems;
  }
  const ListingFaults faults = listingFaults(documentOrder);
  for (const ManifestEntry* entry : faults.unsafe)
    problems.push_back("the updater refuses the listed file \"" + toNarrow(entry->key()) + "\"");
  if (faults.oneFileTwice)
    problems.push_back(
        "two listed files name one file (their paths differ only in case, or "
        "one is listed twice)");
  if (!manifest.checkFiles()) {
    for (const auto& [key, entry] : manifest.entries())
      if (entry.status != EntryStatus::Unchanged)
        problems.push_back("not in place with its listed digest: " + toNarrow(key));
  }
  if (!updaterEntry(manifest.entries()))
    problems.push_back("the updater " + toNarrow(kUpdaterFileName) + " is not listed at the base");

  const ManifestEntry* offered = offeredVersionEntry(documentOrder);
  const std::string version = offered ? toNarrow(offered->version.text()) : std::string();
  const VersionNumber release = VersionNumber::parse(toWide(expected.releaseVersion));
  if (release.text().empty())
    problems.push_back("the release version " + expected.releaseVersion +
                       " is not four numbers joined by dots");
  else if (version != expected.releaseVersion)
    problems.push_back("the first listed file that is not the updater carries version \"" +
                       version + "\" instead of the release's " + expected.releaseVersion);

  const auto& last = *manifest.entries().rbegin();
  if (last.second.fileName != expected.setupFileName) {
    problems.push_back("the last entry in key order is " + toNarrow(last.first) +
                       ", not the installer " + toNarrow(expected.setupFileName));
  } else {
    // The manifest path uses backslashes; the folder on disk has one level per part.
    std::string rel = toNarrow(last.second.path);
    for (char& c : rel)
      if (c == '\\') c = '/';
    fs::path onDisk = dir / rel / toNarrow(last.second.fileName);
    if (!startsAsProgram(onDisk))
      problems.push_back("the installer " + toNarrow(last.first) + " is not a Windows program");
  }
  return problems;
}

}  // namespace orv::manifest_tool
