#include "server_rules.h"

#include <tinyxml2.h>

#include "ansi_text.h"
#include "file_manifest.h"
#include "manifest_writer.h"
#include "narrow_file.h"
#include "product.h"
#include "version_number.h"

namespace orv {
namespace fs = std::filesystem;

namespace {

// The same search for FileInfo as the programs make: a child of the document, or else the first
// one met going down the chain of first child elements.
const tinyxml2::XMLElement* findFileInfo(const tinyxml2::XMLDocument& doc) {
  if (const auto* info = doc.FirstChildElement("FileInfo")) return info;
  for (const auto* e = doc.FirstChildElement(); e; e = e->FirstChildElement())
    if (const auto* info = e->FirstChildElement("FileInfo")) return info;
  return nullptr;
}

}  // namespace

std::string firstListedVersion(const fs::path& manifestFile, const std::string& skippedName) {
  tinyxml2::XMLDocument doc;
  if (doc.LoadFile(manifestText(manifestFile).c_str()) != tinyxml2::XML_SUCCESS) return {};
  const tinyxml2::XMLElement* info = findFileInfo(doc);
  if (!info) return {};
  for (const auto* file = info->FirstChildElement("File"); file;
       file = file->NextSiblingElement("File")) {
    const char* name = file->Attribute("FileName");
    if (name && skippedName == name) continue;
    const char* version = file->Attribute("Version");
    return version ? version : "";
  }
  return {};
}

std::vector<std::string> serverFolderProblems(const fs::path& dir,
                                              const ServerFolderExpectation& expected) {
  std::vector<std::string> problems;
  const std::wstring updater = kUpdaterFileName;
  FileManifest manifest(L"", dir.wstring(), expected.publicKeyPem);
  if (!manifest.verifyAndLoad()) {
    problems.push_back("Digest.xml is missing, lists no file or is not signed with the key the "
                       "programs carry");
    return problems;
  }
  if (!manifest.checkFiles()) {
    for (const auto& [key, entry] : manifest.entries())
      if (entry.status != EntryStatus::Unchanged)
        problems.push_back("not in place with its listed digest: " + toNarrow(key));
  }
  const auto updaterEntry = manifest.entries().find(L"\\" + updater);
  if (updaterEntry == manifest.entries().end())
    problems.push_back("the updater " + toNarrow(updater) + " is not listed at the base");

  const std::string version =
      firstListedVersion(dir / toNarrow(kMainManifestName), toNarrow(updater));
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

}  // namespace orv
