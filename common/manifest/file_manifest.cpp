#include "file_manifest.h"

#include <tinyxml2.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "ansi_text.h"
#include "manifest_signature.h"
#include "narrow_file.h"
#include "path_join.h"
#include "product.h"

namespace orv {

const wchar_t kMainManifestName[] = L"Digest.xml";
const wchar_t kExtraManifestName[] = L"Digest_n.xml";

namespace {

// A signed manifest lists a few hundred files; anything far larger is not one of ours.
constexpr std::size_t kManifestSizeLimit = 64u << 20;

std::wstring attributeText(const tinyxml2::XMLElement* e, const char* name) {
  const char* v = e->Attribute(name);
  return v ? toWide(v) : std::wstring();
}

// The File element's attributes into the one record; a missing attribute reads as empty.
ManifestEntry readEntry(const tinyxml2::XMLElement* file, bool fromMain) {
  ManifestEntry entry;
  entry.fileName = attributeText(file, "FileName");
  entry.path = attributeText(file, "Path");
  entry.digest = attributeText(file, "Digest");
  entry.version = VersionNumber::parse(attributeText(file, "Version"));
  entry.fromMain = fromMain;
  return entry;
}

// FileInfo is a child of the document, or else the first one met going down the chain of
// first child elements.
const tinyxml2::XMLElement* findFileInfo(const tinyxml2::XMLDocument& doc) {
  if (const auto* info = doc.FirstChildElement("FileInfo")) return info;
  for (const auto* e = doc.FirstChildElement(); e; e = e->FirstChildElement()) {
    if (const auto* info = e->FirstChildElement("FileInfo")) return info;
  }
  return nullptr;
}

}  // namespace

FileManifest::FileManifest(std::wstring directory, std::string publicKeyPem)
    : directory_(std::move(directory)), publicKeyPem_(std::move(publicKeyPem)) {
  manifestFiles_[kMainManifestName] = joinPath(directory_, kMainManifestName);
  manifestFiles_[kExtraManifestName] = joinPath(directory_, kExtraManifestName);
}

bool FileManifest::verifyManifestSignature(const std::string& narrowPath) const {
  std::string bytes;
  if (!readWholeFile(narrowPath, bytes, kManifestSizeLimit)) return false;
  return verifySignedManifest(bytes, publicKey());
}

const std::string& FileManifest::publicKey() const {
  return publicKeyPem_.empty() ? manifestPublicKey() : publicKeyPem_;
}

namespace {

bool parseEntries(const std::string& bytes, bool fromMain, FileManifest::Entries& entries,
                  std::vector<ManifestEntry>* documentOrder = nullptr) {
  tinyxml2::XMLDocument doc;
  if (doc.Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) return false;
  const tinyxml2::XMLElement* info = findFileInfo(doc);
  if (!info) return false;
  const tinyxml2::XMLElement* file = info->FirstChildElement("File");
  bool keptOne = false;
  // Windows finds a file whatever the case of its name: a key that differs from a kept one only
  // in case names the kept file again.
  std::set<std::wstring> kept;
  for (const auto& [key, e] : entries) kept.insert(listedFileIdentity(e.path, e.fileName));
  for (; file; file = file->NextSiblingElement("File")) {
    ManifestEntry entry = readEntry(file, fromMain);
    if (documentOrder) documentOrder->push_back(entry);
    if (!listedFileIsSafe(entry.path, entry.fileName)) continue;  // never read nor fetched
    keptOne = true;
    if (!kept.insert(listedFileIdentity(entry.path, entry.fileName)).second) continue;
    // The first occurrence of a key wins, and the main manifest is always read first.
    entries.emplace(entry.key(), std::move(entry));
  }
  return keptOne;  // a manifest that lists nothing usable lists nothing
}

}  // namespace

bool FileManifest::loadManifestFile(Which which) {
  const bool main = which == Which::Main;
  std::string bytes;
  const std::string path = toNarrow(manifestPath(main ? kMainManifestName : kExtraManifestName));
  const bool ok =
      readWholeFile(path, bytes, kManifestSizeLimit) && parseEntries(bytes, main, entries_);
  return main ? ok : true;
}

bool FileManifest::verifyAndLoad() {
  if (!verifyAndLoadSignedOnly()) return false;
  loadManifestFile(Which::Extra);
  return true;
}

bool FileManifest::verifyAndLoadSignedOnly(std::vector<ManifestEntry>* documentOrder) {
  return loadSignedOnly(documentOrder) == SignedLoad::Loaded;
}

FileManifest::SignedLoad FileManifest::loadSignedOnly(std::vector<ManifestEntry>* documentOrder) {
  // The bytes that were verified are the bytes that are parsed: reading the file a second time
  // would let it be swapped between the check and the use.
  std::string bytes;
  const std::string mainPath = toNarrow(manifestPath(kMainManifestName));
  if (!readWholeFile(mainPath, bytes, kManifestSizeLimit)) return SignedLoad::NoFile;
  switch (checkSignedManifest(bytes, publicKey())) {
    case SignatureCheck::Verified:
      break;
    case SignatureCheck::Unsigned:
      return SignedLoad::Unsigned;
    case SignatureCheck::OtherKey:
      return SignedLoad::OtherKey;
    case SignatureCheck::Altered:
      return SignedLoad::Altered;
  }
  return parseEntries(bytes, true, entries_, documentOrder) ? SignedLoad::Loaded
                                                            : SignedLoad::NoEntries;
}

bool isUpdaterEntry(const ManifestEntry& entry) {
  return entry.path.empty() && entry.fileName == kUpdaterFileName;
}

const ManifestEntry* updaterEntry(const FileManifest::Entries& entries) {
  for (const auto& [key, e] : entries)
    if (isUpdaterEntry(e)) return &e;
  return nullptr;
}

const ManifestEntry* offeredVersionEntry(const std::vector<ManifestEntry>& documentOrder) {
  for (const ManifestEntry& e : documentOrder)
    if (!isUpdaterEntry(e)) return &e;
  return nullptr;
}

ListingFaults listingFaults(const std::vector<ManifestEntry>& documentOrder) {
  ListingFaults faults;
  std::set<std::wstring> named;
  for (const ManifestEntry& e : documentOrder) {
    if (!listedFileIsSafe(e.path, e.fileName)) faults.unsafe.push_back(&e);
    if (!named.insert(listedFileIdentity(e.path, e.fileName)).second) faults.oneFileTwice = true;
  }
  return faults;
}

bool FileManifest::checkFiles() {
  std::vector<ManifestEntry*> listed;
  std::vector<std::wstring> paths;
  for (auto& [key, entry] : entries_) {
    listed.push_back(&entry);
    paths.push_back(localPath(key));
  }
  const std::vector<std::wstring> digests = digestFiles(paths);
  bool intact = true;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const bool same = digests[i] == listed[i]->digest;
    listed[i]->status = same ? EntryStatus::Unchanged : EntryStatus::Changed;
    intact = intact && same;
  }
  return intact;
}

std::wstring fileDigest(const std::wstring& path) {
  DigestBlock block;
  return fileDigest(path, block);
}

std::vector<std::wstring> digestFiles(const std::vector<std::wstring>& paths, unsigned threads) {
  std::vector<std::wstring> digests(paths.size());
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, paths.size()));
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    DigestBlock block;
    for (std::size_t i; (i = next.fetch_add(1)) < paths.size();)
      digests[i] = fileDigest(paths[i], block);
  };
  std::vector<std::thread> pool;
  // The calling thread takes a share too; a thread that cannot be started leaves its share to
  // the others.
  for (unsigned t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (auto& t : pool) t.join();
  return digests;
}

}  // namespace orv
